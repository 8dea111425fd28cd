// The shared OLE site: which interfaces each kind of site answers, its count that never
// frees the host, and the window context it hands an object.
#include <gtest/gtest.h>
#include <windows.h>
#include <ocidl.h>

#include "Handles.h"
#include "InPlaceFrame.h"
#include "OleSite.h"

namespace {

HWND const kSiteWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
HWND const kFrameWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5678));

class TestSite : public vantor::OleSite, private vantor::FrameHost {
public:
    explicit TestSite(Activation activation) : OleSite(activation) {}
    using OleSite::Activation;
    IOleInPlaceFrame* frame() const { return frame_.get(); }

private:
    HWND SiteWindow() const override { return kSiteWindow; }
    RECT SiteRect() const override { return {1, 2, 300, 200}; }
    IOleInPlaceFrame* SiteFrame() override { return frame_.get(); }
    HWND FrameWindow() const override { return kFrameWindow; }
    void* HostInterface(REFIID iid) override {
        return iid == IID_IStorage ? reinterpret_cast<void*>(&storageStandIn_) : nullptr;
    }
    HWND HostWindow() const override { return kFrameWindow; }

    vantor::ComPtr<IOleInPlaceFrame> frame_{new vantor::InPlaceFrame(*this)};
    int storageStandIn_ = 0;
};

bool Answers(IUnknown* site, REFIID iid) {
    void* out = reinterpret_cast<void*>(1);
    HRESULT hr = site->QueryInterface(iid, &out);
    if (SUCCEEDED(hr)) site->Release();
    else EXPECT_EQ(nullptr, out);
    return hr == S_OK;
}

TEST(OleSite, AnswersItsKindsInterfacesAndTheHostsWithOneCountThatNeverFreesIt) {
    TestSite windowed(TestSite::Activation::Windowed);
    TestSite windowless(TestSite::Activation::WindowlessCapable);
    IUnknown* flat = static_cast<IOleClientSite*>(&windowed);
    IUnknown* capable = static_cast<IOleClientSite*>(&windowless);
    for (REFIID iid : {IID_IUnknown, IID_IOleClientSite, IID_IOleWindow, IID_IOleInPlaceSite, IID_IStorage}) {
        EXPECT_TRUE(Answers(flat, iid));
        EXPECT_TRUE(Answers(capable, iid));
    }
    for (REFIID iid : {IID_IOleInPlaceSiteEx, IID_IOleInPlaceSiteWindowless}) {
        EXPECT_FALSE(Answers(flat, iid)) << "a windowed site is no windowless one";
        EXPECT_TRUE(Answers(capable, iid));
    }
    EXPECT_FALSE(Answers(flat, IID_IDispatch));

    // Every interface reaches the same count and the same identity.
    IOleInPlaceSite* inPlace = nullptr;
    ASSERT_EQ(S_OK, flat->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)));
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, inPlace->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(flat, identity);
    EXPECT_EQ(1u, identity->Release());
    // Down to none, the site is still the host's: it stays usable.
    EXPECT_EQ(0u, inPlace->Release());
    HWND window = nullptr;
    EXPECT_EQ(S_OK, windowed.GetWindow(&window));
    EXPECT_EQ(kSiteWindow, window);
    EXPECT_EQ(E_POINTER, windowed.GetWindow(nullptr));
}

TEST(OleSite, GivesTheHostsFrameWithAReferenceAndItsPlace) {
    TestSite site(TestSite::Activation::Windowed);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = reinterpret_cast<IOleInPlaceUIWindow*>(1);
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO info{sizeof info};
    info.haccel = reinterpret_cast<HACCEL>(1);
    info.cAccelEntries = 3;
    ASSERT_EQ(S_OK, site.GetWindowContext(&frame, &doc, &position, &clip, &info));
    ASSERT_EQ(site.frame(), frame);
    EXPECT_EQ(nullptr, doc);
    EXPECT_TRUE(EqualRect(&position, &clip));
    EXPECT_EQ(1, position.left);
    EXPECT_EQ(200, position.bottom);
    EXPECT_FALSE(info.fMDIApp);
    EXPECT_EQ(kFrameWindow, info.hwndFrame);
    EXPECT_EQ(nullptr, info.haccel);
    EXPECT_EQ(0u, info.cAccelEntries);
    // The object holds its own reference: the site's frame outlives the object's release.
    EXPECT_EQ(1u, frame->Release());
    // Only what is asked for is filled.
    EXPECT_EQ(S_OK, site.GetWindowContext(nullptr, nullptr, nullptr, nullptr, nullptr));

    IOleContainer* container = reinterpret_cast<IOleContainer*>(1);
    EXPECT_EQ(E_NOINTERFACE, site.GetContainer(&container));
    EXPECT_EQ(nullptr, container);
}

}  // namespace
