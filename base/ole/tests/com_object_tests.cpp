// The one reference count of our heap COM objects: the object goes with its last reference,
// not before, and answers only the interfaces it names.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include "ComObject.h"

namespace {

class Probe : public vantor::ComObject<IAdviseSink> {
public:
    Probe(bool* gone, LONG refs) : ComObject(refs), gone_(gone) {}
    ~Probe() override { *gone_ = true; }

    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}

private:
    bool Answers(REFIID iid) const override { return iid == IID_IAdviseSink; }
    bool* gone_;
};

TEST(ComObject, GoesWithItsLastReferenceAndAnswersOnlyItsInterface) {
    bool gone = false;
    IAdviseSink* sink = new Probe(&gone, 0);
    EXPECT_EQ(1u, sink->AddRef());

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, sink->QueryInterface(IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_POINTER, sink->QueryInterface(IID_IUnknown, nullptr));
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, sink->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(sink), identity);
    IAdviseSink* again = nullptr;
    ASSERT_EQ(S_OK, sink->QueryInterface(IID_IAdviseSink, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(sink, again);

    EXPECT_EQ(2u, identity->Release());
    EXPECT_EQ(1u, again->Release());
    EXPECT_FALSE(gone);
    EXPECT_EQ(0u, sink->Release());
    EXPECT_TRUE(gone);

    // One made with its first holder's reference goes with one release.
    gone = false;
    IAdviseSink* held = new Probe(&gone, 1);
    EXPECT_EQ(0u, held->Release());
    EXPECT_TRUE(gone);
}

}  // namespace
