#include "TransferWorker.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "HttpEngine.h"
#include "Sync.h"
#include "TransferLimits.h"

namespace {

thread_local const std::atomic<bool>* t_abandoned = nullptr;

// What one transfer reported, kept for its caller; the worker's side of the callback.
class TransferJob : public CFileDownUpProcessCallback {
public:
    TransferJob()
        : done(CreateEventW(nullptr, TRUE, FALSE, nullptr)), progress(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~TransferJob() {
        if (done) CloseHandle(done);
        if (progress) CloseHandle(progress);
    }

    void OnTotalSize(DWORD low, DWORD high, DWORD_PTR) override {
        vantor::Lock lock(lock_);
        total = (static_cast<uint64_t>(high) << 32) | low;
        haveTotal = true;
        SetEvent(progress);
    }
    void OnProgress(DWORD low, DWORD high, DWORD_PTR) override {
        vantor::Lock lock(lock_);
        received = (static_cast<uint64_t>(high) << 32) | low;
        haveReceived = true;
        // The caller hears of progress every 50 ms at most: waking it for every chunk
        // cost a fast download a quarter of its speed.
        ULONGLONG now = GetTickCount64();
        if (now - lastSignal_ >= 50) {
            lastSignal_ = now;
            SetEvent(progress);
        }
    }
    void OnFinished(DWORD stopFlag, DWORD lastError, DWORD_PTR) override {
        vantor::Lock lock(lock_);
        finished = true;
        finishedStop = stopFlag;
        finishedError = lastError;
    }
    void OnPostData(const char* chunk, DWORD length, DWORD_PTR) override {
        vantor::Lock lock(lock_);
        if (abandoned) return;
        chunks.emplace_back(chunk, length);
    }

    // The caller's side: what came since the last look goes to its callback.
    void Report(CFileDownUpProcessCallback* callback, DWORD_PTR context) {
        bool sendTotal = false, sendReceived = false;
        uint64_t t = 0, r = 0;
        {
            vantor::Lock lock(lock_);
            sendTotal = haveTotal && !totalSent;
            totalSent = totalSent || haveTotal;
            t = total;
            sendReceived = haveReceived && received != receivedSent;
            r = receivedSent = received;
        }
        if (!callback) return;
        if (sendTotal) callback->OnTotalSize(static_cast<DWORD>(t), static_cast<DWORD>(t >> 32), context);
        if (sendReceived) callback->OnProgress(static_cast<DWORD>(r), static_cast<DWORD>(r >> 32), context);
    }

    HANDLE done;
    HANDLE progress;
    std::atomic<bool> abandoned{false};
    HttpFetchResult result = HTTP_FETCH_STOPPED;
    std::function<HttpFetchResult(CFileDownUpProcessCallback*)> work;
    HttpEngine* engine = nullptr;
    HMODULE module = nullptr;
    // Read by the caller once done is set.
    std::vector<std::string> chunks;
    bool finished = false;
    DWORD finishedStop = 0;
    DWORD finishedError = 0;

private:
    vantor::CriticalSection lock_;
    uint64_t total = 0;
    bool haveTotal = false;
    bool totalSent = false;
    uint64_t received = 0;
    bool haveReceived = false;
    uint64_t receivedSent = 0;
    ULONGLONG lastSignal_ = 0;
};

DWORD WINAPI TransferThread(void* param) {
    std::shared_ptr<TransferJob> job = *static_cast<std::shared_ptr<TransferJob>*>(param);
    delete static_cast<std::shared_ptr<TransferJob>*>(param);
    t_abandoned = &job->abandoned;
    HttpFetchResult result = HTTP_FETCH_STOPPED;
    try {
        result = job->work(job.get());
    } catch (...) {
        result = HTTP_FETCH_STOPPED;
    }
    t_abandoned = nullptr;
    job->result = result;
    SetEvent(job->done);
    HMODULE module = job->module;
    HttpEngine* engine = job->engine;
    job.reset();
    engine->Release();
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

}  // namespace

bool TransferAbandoned() { return t_abandoned && t_abandoned->load(); }

HttpFetchResult RunBoundedTransfer(HttpEngine* engine, bool download,
                                   const std::function<HttpFetchResult(CFileDownUpProcessCallback*)>& work,
                                   CFileDownUpProcessCallback* callback, DWORD_PTR context) {
    auto job = std::make_shared<TransferJob>();
    if (!job->done || !job->progress) return HTTP_FETCH_STOPPED;
    job->work = work;
    job->engine = engine;
    // The worker holds the library and the engine until the engine's call returns.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&TransferThread),
                            &job->module)) {
        return HTTP_FETCH_STOPPED;
    }
    engine->AddRef();
    auto* param = new std::shared_ptr<TransferJob>(job);
    HANDLE thread = CreateThread(nullptr, 0, TransferThread, param, 0, nullptr);
    if (!thread) {
        delete param;
        engine->Release();
        FreeLibrary(job->module);
        return HTTP_FETCH_STOPPED;
    }
    CloseHandle(thread);

    DWORD limit = webfetch::TransferLimitMs();
    webfetch::Deadline deadline(limit);
    bool ended = false;
    if (download) {
        // A download waits as long as bytes keep coming.
        HANDLE waits[2] = {job->done, job->progress};
        for (;;) {
            DWORD w = WaitForMultipleObjects(2, waits, FALSE, limit);
            job->Report(callback, context);
            if (w == WAIT_OBJECT_0) {
                ended = true;
                break;
            }
            if (w != WAIT_OBJECT_0 + 1) break;
        }
    } else {
        ended = WaitForSingleObject(job->done, deadline.RemainingMs()) == WAIT_OBJECT_0;
    }
    // The engine's own timeouts fire at the same limit: a worker that is about to end
    // by itself gets a moment, so that it closes the file and handles before the caller
    // goes on.
    const DWORD kGraceMs = 500;
    if (!ended) ended = WaitForSingleObject(job->done, kGraceMs) == WAIT_OBJECT_0;
    if (ended) job->Report(callback, context);
    if (!ended) {
        job->abandoned = true;
        OutputDebugStringW(L"WebFetch: the transfer passed its deadline and was left to end by itself\n");
        return HTTP_FETCH_STOPPED;
    }
    for (const std::string& chunk : job->chunks) {
        if (callback) callback->OnPostData(chunk.c_str(), static_cast<DWORD>(chunk.size()), context);
    }
    if (job->finished && callback) callback->OnFinished(job->finishedStop, job->finishedError, context);
    return job->result;
}
