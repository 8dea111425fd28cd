// The user search: UserSearchDialog (template 107, modeless, at most one) with its fields
// pane SearchFieldsPane (109, hidden until "高级>>") and its result page SearchResultPage
// (108). Each search runs on a worker that adds the found users' rows as they arrive.
#pragma once

#include <atomic>

#include "ContactDialog.h"
#include "ContactRecords.h"
#include "VantorTypes.h"
#include "Forms.h"
#include "outside/AnchorKit.h"
#include "outside/GlassKit.h"

namespace rostdialogs {

class UserSearchDialog;

class SearchFieldsPane : public ContactDialog {
public:
    SearchFieldsPane() : ContactDialog(109, false) {}
    bool OnInitDialog() override;
    void OnDestroy() override;
    HBRUSH OnCtlColorDlg(HDC dc, HWND window) override;

    SearchFields Fields(bool shown) const;
    const ProvinceList& Provinces() const { return provinces_; }

private:
    ProvinceList provinces_;
};

class SearchResultPage : public ContactDialog {
public:
    explicit SearchResultPage(UserSearchDialog* owner) : ContactDialog(108, false), owner_(owner) {}
    ~SearchResultPage() override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    void OnNotify(WPARAM wParam, LPARAM lParam) override;
    HBRUSH OnCtlColorStatic(HDC dc, HWND control) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;

    void Clear();
    void ShowStatus(const wchar_t* text);
    void HideStatus();
    bool OnlineOnly() const;
    // One found user (from the search worker).
    void AddRow(const FriendInfoA& record, const ProvinceList& provinces);

private:
    // A right-click on a row chooses it and offers "添加到好友列表".
    void ShowRowMenu();
    // The chosen row as a record: id, nickname, sex, province code, city.
    FriendInfoA ChosenRecord() const;
    void AddChosenFriend();

    UserSearchDialog* owner_;
    CAnchorKit previous_;
    CAnchorKit next_;
    std::atomic<bool> cleared_{false};
    bool onlineService_ = false;
    int chosenRow_ = -1;
    CGlassKit onlineOnly_;
    HBRUSH statusBrush_ = nullptr;
};

class UserSearchDialog : public ContactDialog {
public:
    explicit UserSearchDialog(HostContext book);
    ~UserSearchDialog() override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnClose() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void ReleaseModule() override;

    HostContext Book() const { return book_; }
    const SearchFieldsPane& Fields() const { return *fields_; }

private:
    struct Job {
        UserSearchDialog* dialog;
        std::string query;
        int page;
        bool online;
    };
    static void Work(void* job);
    static int __stdcall SearchResultProc(FriendInfoA record, UINT_PTR context);
    void StartSearch();
    void ToggleFields();
    void EnableButtons(bool on);

    HostContext book_;
    SearchFieldsPane* fields_;
    SearchResultPage* results_;
    bool fieldsShown_ = false;
    HANDLE worker_ = nullptr;
    int page_ = 0;
    int result_ = 0;
    // Of the last search, written by its worker and read once it has ended.
    bool answered_ = false;  // the presence client was reached
    int rowsFound_ = 0;
    bool closeWhenDone_ = false;
    CKnobKit close_;
    CKnobKit advanced_;
    CKnobKit clear_;
    CKnobKit find_;
};

}  // namespace rostdialogs
