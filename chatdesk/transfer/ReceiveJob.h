// One incoming transfer: the offer shown, then (once the user accepted and confirmed a
// save path) the blocks written to "<save path>.im", and at the end the ".im" moved onto
// the confirmed path. A resume mark stands behind the data of the ".im" from the accept
// on, each block written together with the mark for what the file then holds, so that
// whatever ends the job (trouble, a cancel, the program killed) a later offer of the same
// file resumes from what arrived. The mark names the transfer (who offered it, the name
// offered and its size): a ".im" without a mark, or with another transfer's, is some
// other file: it is left as it is and the transfer goes to a fresh name
// ("<save path>.1.im", ...). The mark goes only once the whole file is on disk, right
// before the move.
//
// Blocks are taken in their order only: each is written behind the one before it, so a
// block that does not come next is never written (an old one is let pass, one past a
// gap ends the transfer with what came in order kept for the resume).
//
// Methods may be called from the user-interface thread (accept, cancel) and a receive
// thread (blocks) at once: the job guards its state itself and calls nothing but its file
// store while it holds its lock. The caller tells the control and the peer what the
// results say.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace chatdesk {

// The ".im" file, open for writing.
class ReceiveFile {
public:
    virtual ~ReceiveFile() = default;
    // Writes at `offset` (the file grows as needed).
    virtual bool WriteAt(uint64_t offset, const uint8_t* data, uint32_t count) = 0;
    // Cuts the file to `size` bytes.
    virtual bool CutTo(uint64_t size) = 0;
    // Writes what the system holds of the file to disk.
    virtual bool Flush() = 0;
    // Flushes and closes; false when either failed.
    virtual bool Close() = 0;
};

class ReceiveFiles {
public:
    virtual ~ReceiveFiles() = default;
    // Opens for writing (created when missing); `size` is its length so far.
    virtual std::unique_ptr<ReceiveFile> OpenForWriting(const std::wstring& path, uint64_t* size) = 0;
    // Makes a new empty file for writing; null when one exists there already or on failure.
    virtual std::unique_ptr<ReceiveFile> CreateNew(const std::wstring& path) = 0;
    // The last `count` bytes of an existing file and its length; false when it is shorter
    // or can't be read.
    virtual bool ReadTail(const std::wstring& path, size_t count, std::string* tail, uint64_t* size) = 0;
    // Moves `from` onto `to`, replacing a file there; `from` is gone only on success.
    virtual bool MoveOnto(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool Remove(const std::wstring& path) = 0;
};

// "<save path>.im", and for n > 0 "<save path>.<n>.im".
std::wstring TemporaryPathOf(const std::wstring& savePath, int n = 0);

// Which transfer a ".im" belongs to: the offerer's id and the file name it offered (as
// the offer carries them), with the size offered.
struct TransferOrigin {
    std::string offererId;  // up to 19 bytes
    std::string name;       // up to 255 bytes
    uint32_t total = 0;
};

// The mark behind the data of a ".im" that a stopped transfer left: `held` bytes of that
// transfer.
constexpr size_t kResumeMarkSize = 308;
std::string ResumeMarkOf(uint32_t held, const TransferOrigin& origin);

enum class ReceiveState { Offered, Receiving, Complete, Cancelled, Failed };

enum class BlockOutcome {
    Ignored,    // the offer was never accepted, or the transfer is over: nothing written
    Written,    // appended; progress moved
    Passed,     // a block that came before (its number is behind): nothing written, going on
    Complete,   // the last bytes arrived and the file stands at the save path
    Rejected,   // more than a block's data, past the offered size or past a missing block:
                // nothing written, cancelled
    Failed,     // the ".im" could not be written or moved: cancelled, ".im" kept marked
};

struct BlockResult {
    BlockOutcome outcome = BlockOutcome::Ignored;
    double progress = 0;  // percent received, for the control
    // The "005B" answer: stop the sender (nothing more is taken).
    bool stopSender() const {
        return outcome != BlockOutcome::Written && outcome != BlockOutcome::Passed && outcome != BlockOutcome::Complete;
    }
    // The transfer ended through this block: the caller lowers the count; on Rejected and
    // Failed it also sends the peer a cancel notice and shows the control cancelled.
    bool ended() const { return outcome == BlockOutcome::Complete || outcome == BlockOutcome::Rejected ||
                                outcome == BlockOutcome::Failed; }
};

class ReceiveJob {
public:
    ReceiveJob(ReceiveFiles& files, TransferOrigin origin);
    ~ReceiveJob();
    ReceiveJob(const ReceiveJob&) = delete;
    ReceiveJob& operator=(const ReceiveJob&) = delete;

    // The user confirmed `savePath`: resumes from the first of its temporary files that
    // a stopped receive of this same transfer left, else makes the first free one, marked,
    // and starts at 0. False when no file can be opened or made (the offer stays
    // unanswered).
    bool Accept(const std::wstring& savePath, uint32_t* resume);

    // A "005S" for this transfer: its block number, its data count as the peer wrote it
    // and `data`, the message's data bytes (at least `count` of them when count <= 4096).
    // The first block expected is the resume point divided by 4096, then one more each.
    BlockResult OnBlock(uint32_t number, uint32_t count, const uint8_t* data);

    // Ends the transfer (either user, the peer, the window closing): closes the ".im" and
    // keeps it. True when it was receiving; false when it was not accepted or has ended.
    bool Cancel();

    ReceiveState State() const;
    uint32_t Total() const { return total_; }
    uint32_t Received() const;
    std::wstring SavePath() const;
    std::wstring TemporaryPath() const;

private:
    BlockResult End(BlockOutcome outcome, ReceiveState state);
    BlockResult Finish();
    // Opens the temporary file to go on with; sets *held to what it holds.
    std::unique_ptr<ReceiveFile> OpenTemporary(const std::wstring& savePath, std::wstring* path, uint32_t* held);
    double ProgressNow() const { return total_ == 0 ? 100.0 : received_ * 100.0 / total_; }

    // Writes the mark behind what the closed ".im" holds; a ".im" that can't be marked is
    // removed, as nobody could tell it apart from another file.
    void MarkClosedTemporary();
    // The mark for `held` bytes of this transfer.
    std::string MarkFor(uint32_t held) const;
    // Writes a block's data behind what the file holds, with the mark for what it then
    // holds behind it (one write).
    bool WriteBlock(const uint8_t* data, uint32_t count);

    ReceiveFiles& files_;
    const TransferOrigin origin_;
    const uint32_t total_;
    mutable std::mutex lock_;
    ReceiveState state_ = ReceiveState::Offered;
    uint32_t received_ = 0;
    uint32_t nextNumber_ = 0;  // of the block to be written next
    std::wstring savePath_;  // the path the user confirmed: the file lands there and nowhere else
    std::wstring tempPath_;
    std::unique_ptr<ReceiveFile> file_;
    const std::string mark_;        // the mark of this transfer, for 0 bytes held
    std::vector<uint8_t> written_;  // a block and its mark, as they go to the file
};

// Reads what a receiver needs of a "005S" routed to its window: the stamp, the block
// number, the data count as written and the data. Unlike ReadFileBlock it gives a count
// over 4096 too (`data` is then null), so that the transfer it names can be cancelled.
// False for anything that is no "005S" of 4251 bytes.
bool ReadBlockForReceive(const uint8_t* msg, size_t length, std::string* stamp, uint32_t* number, uint32_t* count,
                         const uint8_t** data);

}  // namespace chatdesk
