#include "OnlineWork.h"

#include <cstring>
#include <memory>

#include "DebugOut.h"
#include "PeerRecords.h"
#include "Text.h"

namespace presence {

void PendingFriends::Clear() {
    vantor::Lock lock(lock_);
    entries_.clear();
}

void PendingFriends::Insert(FriendHandle entry) {
    vantor::Lock lock(lock_);
    entries_.insert(reinterpret_cast<UINT_PTR>(entry));
}

bool PendingFriends::TakeSmallest(FriendHandle* entry) {
    vantor::Lock lock(lock_);
    if (entries_.empty()) return false;
    *entry = reinterpret_cast<FriendHandle>(*entries_.begin());
    entries_.erase(entries_.begin());
    return true;
}

bool PendingFriends::Empty() {
    vantor::Lock lock(lock_);
    return entries_.empty();
}

void IdList::Add(const char* id) {
    if (!text_.empty()) text_ += '|';
    text_ += id;
}

namespace {

FriendStatus StatusOf(const FriendInfoA& record, WORD status) {
    FriendStatus s = record.status;
    s.status = status;
    return s;
}

bool SendNotice(WorkContext& work, const PeerTarget& target, const std::string& text) {
    return Reachable(target) && work.peers.SendAndConfirm(target, text);
}

void RefreshPolicies(WorkContext& work, FriendHandle entry, const FriendInfoA& record) {
    UINT count = 0;
    if (work.kernel.ServicePolicies(record.id, nullptr, &count) != 1 || count == 0) return;
    std::unique_ptr<ServicePolicyInfoA[]> records(new ServicePolicyInfoA[count]());
    UINT filled = count;
    if (work.kernel.ServicePolicies(record.id, records.get(), &filled) != 1) return;
    work.book.AddServicePolicies(entry, records.get(), filled < count ? filled : count);
}

}  // namespace

bool RefreshOnlineFriends(WorkContext& work, PendingFriends& pending) {
    vantor::DebugLine(L"\t本次获取在线好友名单开始\n");
    pending.Clear();
    DWORD started = GetTickCount();
    work.book.RefreshFriendStatus(REFRESH_RESET_NETWORK_FRIENDS);
    vantor::DebugLine(L"刷新通讯录OFF耗时：%d\n", static_cast<int>(GetTickCount() - started));

    started = GetTickCount();
    work.server.OnlineFriends([&](const FriendInfoA& record) {
        if (work.signals.Stopped()) return false;
        char id[sizeof record.id + 1] = {};
        memcpy(id, record.id, sizeof record.id);
        FriendHandle entry = work.book.FindFriend(id, nullptr);
        if (!entry) return true;
        pending.Insert(entry);
        work.book.UpdateFriendStatus(entry, record.status, 0);
        return true;
    });
    vantor::DebugLine(L"获取在线好友列表耗时：%d\n", static_cast<int>(GetTickCount() - started));

    started = GetTickCount();
    work.book.RefreshFriendStatus(REFRESH_NOTIFY);
    vantor::DebugLine(L"刷新通讯录NOTIFY耗时：%d\n", static_cast<int>(GetTickCount() - started));
    bool waiting = !pending.Empty();
    vantor::DebugLine(L"\t本次获取在线好友过程结束\n");
    return waiting;
}

void ProcessOnlineFriends(WorkContext& work, PendingFriends& pending, WORD ownPort) {
    vantor::DebugLine(L"\t开始处理在线好友的状态...\n");
    FriendInfoA own = {};
    if (!work.book.Account(&own)) return;
    std::string status = std::to_string(own.status.status);
    IdList unreached;
    FriendHandle entry = nullptr;
    while (!work.signals.Stopped() && pending.TakeSmallest(&entry)) {
        FriendInfoA record = {};
        if (!work.book.FriendInfo(entry, &record)) continue;
        if (work.signals.Stopped()) break;
        if (record.nickname[0] == 0) {
            FriendInfoA filled = record;
            if (work.kernel.UserPublicInfo(record.id, &filled) == 0) {
                record = filled;
                work.book.ModifyFriend(entry, record);
            }
            if (work.signals.Stopped()) break;
        }
        PeerTarget target = ChoosePeerTarget(own.status, record.status, PortRule::OwnPort, ownPort);
        if (!SendNotice(work, target, StatusNoticeText(own, record, status))) unreached.Add(record.id);
        if (work.signals.Stopped()) break;
        RefreshPolicies(work, entry, record);
    }
    if (!unreached.Empty()) work.server.UpdateStatus(0, status.c_str(), unreached.Text().c_str(), 0);
    vantor::DebugLine(L"\t本次好友在线状态的更新结束\n");
}

int OwnStatusPass(WorkContext& work, WORD status) {
    FriendInfoA own = {};
    work.book.Account(&own);
    std::string text = std::to_string(status);
    IdList unreached;
    bool stopped = false;
    WorkSignals::Wake wake = WorkSignals::kNone;
    work.book.EachOnlineFriend([&](FriendHandle entry) {
        if ((wake = work.signals.WaitStopOrChange(1)) != WorkSignals::kNone) return false;
        FriendInfoA record = {};
        if (!work.book.FriendInfo(entry, &record)) return true;
        if ((wake = work.signals.WaitStopOrChange(1)) != WorkSignals::kNone) return false;
        if (record.status.status == 0) {
            unreached.Add(record.id);
        } else {
            PeerTarget target = ChoosePeerTarget(own.status, record.status, PortRule::FriendPort, 0);
            if (!SendNotice(work, target, StatusNoticeText(own, record, text))) unreached.Add(record.id);
        }
        if ((wake = work.signals.WaitStopOrChange(1)) != WorkSignals::kNone) return false;
        return true;
    });
    if (wake != WorkSignals::kNone) {
        stopped = wake == WorkSignals::kStop || work.signals.Stopped();
        if (stopped) {
            vantor::DebugLine(L"\t在更新自身状态的时候，接受到了停止的事件\n");
            return -1;
        }
        vantor::DebugLine(L"\t更新自身的状态被中断了，需要重新进行！\n");
        return 1;
    }
    work.server.UpdateStatus(0, text.c_str(), unreached.Text().c_str(), 0);
    work.book.UpdateSelfStatus(StatusOf(own, status));
    return 0;
}

}  // namespace presence
