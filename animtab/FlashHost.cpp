#include "FlashHost.h"

#include "DebugOut.h"
#include "ModulePath.h"
#include "MovieAutomation.h"
#include "MovieCommand.h"
#include "MoviePath.h"
#include "outside/MovieControl.h"

namespace animtab {

FlashHost::~FlashHost() {
    if (point_ && cookie_) point_->Unadvise(cookie_);
    cookie_ = 0;
    point_ = nullptr;
    points_ = nullptr;
}

bool FlashHost::OnBeforeActivate() {
    MovieAutomation movie(movie_.get());
    long version = 0;
    if (movie.GetNumber(MOVIE_MEMBER_VERSION, &version)) version8_ = ((version >> 16) & 0xFF) == 8;
    if (!object_ ||
        FAILED(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(points_.put()))) ||
        !points_ || FAILED(points_->FindConnectionPoint(kMovieEventsIid, point_.put())) || !point_ ||
        FAILED(point_->Advise(static_cast<IDispatch*>(&sink_), &cookie_))) {
        vantor::DebugLine(L"AnimTab: 无法连接影片事件");
        cookie_ = 0;
    }
    movie.PutText(MOVIE_MEMBER_SCALE, L"showAll");
    movie.PutNumber(MOVIE_MEMBER_BACKGROUND, -1);
    movie.PutBool(MOVIE_MEMBER_EMBED, false);
    return true;
}

bool FlashHost::OnAfterActivate() {
    std::wstring path = ConfiguredMovie(vantor::ProgramDir());
    MovieAutomation movie(movie_.get());
    return movie.PutBool(MOVIE_MEMBER_EMBED, true) && movie.CallNumberText(MOVIE_MEMBER_LOAD, 0, path.c_str()) &&
           movie.Call(MOVIE_MEMBER_PLAY);
}

bool FlashHost::LoadMovie(const wchar_t* path) {
    std::wstring configured;
    if (!path) {
        configured = ConfiguredMovie(vantor::ProgramDir());
        path = configured.c_str();
    }
    return MovieAutomation(movie_.get()).CallNumberText(MOVIE_MEMBER_LOAD, 0, path);
}

HRESULT FlashHost::DispatchInvoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    if (id != MOVIE_DISPID_FSCOMMAND) return 0;
    // (command, arguments), last argument first.
    const wchar_t* command = nullptr;
    const wchar_t* args = nullptr;
    if (params && params->cArgs >= 2) {
        if (params->rgvarg[1].vt == VT_BSTR) command = params->rgvarg[1].bstrVal;
        if (params->rgvarg[0].vt == VT_BSTR) args = params->rgvarg[0].bstrVal;
    }
    (void)args;  // the movie's argument text carries nothing the pane uses
    return HandleMovieCommand(plug_ ? plug_->wnd : nullptr, plug_ ? plug_->context : 0, command);
}

STDMETHODIMP FlashHost::Sink::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kMovieEventsIid) {
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

}  // namespace animtab
