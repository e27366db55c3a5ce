// The COM-side owners in process: each must give back exactly what it holds,
// once, and hand over what it is asked to hand over.
#include "GlobalMemory.h"
#include "HResult.h"
#include "RegistryKey.h"
#include "TaskMemResults.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// An object that counts its references, to see VARIANTs cleared.
class Counted : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

struct Result {
    DWORD handle;
    VARIANT value;
};

// A callee that hands out an array of two results, each holding a reference.
HRESULT HandOut(Counted& object, Result** out) {
    auto* results = static_cast<Result*>(CoTaskMemAlloc(2 * sizeof(Result)));
    for (int i = 0; i < 2; ++i) {
        VariantInit(&results[i].value);
        results[i].value.vt = VT_UNKNOWN;
        results[i].value.punkVal = &object;
        object.AddRef();
    }
    *out = results;
    return S_OK;
}

TEST(TaskMemResults, ClearsEveryValueWhenReplacedAndWhenGone) {
    Counted object;
    {
        fw::TaskMemResults<Result, &Result::value> results;
        ASSERT_EQ(S_OK, HandOut(object, results.put(2)));
        EXPECT_EQ(3u, object.refs);
        ASSERT_EQ(S_OK, HandOut(object, results.put(2)));
        EXPECT_EQ(3u, object.refs) << "the first array's values were cleared";
        EXPECT_EQ(&object, results[1].value.punkVal);
    }
    EXPECT_EQ(1u, object.refs);
}

HRESULT HandOutErrors(HRESULT** out) {
    *out = static_cast<HRESULT*>(CoTaskMemAlloc(sizeof(HRESULT)));
    **out = static_cast<HRESULT>(0xC0040001);
    return S_FALSE;
}

TEST(TaskMemOut, TakesTheArrayOfAnOutParameter) {
    fw::TaskMemPtr<HRESULT> errors;
    EXPECT_EQ(S_FALSE, HandOutErrors(fw::OutPtr(errors)));
    ASSERT_TRUE(errors);
    EXPECT_EQ(static_cast<HRESULT>(0xC0040001), errors.get()[0]);
}

TEST(Variant, ClearsWhatItHeldAndHandsValuesOver) {
    Counted object;
    VARIANT handed;
    VariantInit(&handed);
    {
        fw::Variant value;
        VARIANT* slot = value.put();
        slot->vt = VT_UNKNOWN;
        slot->punkVal = &object;
        object.AddRef();
        EXPECT_EQ(2u, object.refs);
        value.put()->vt = VT_I4;  // replacing clears the reference
        EXPECT_EQ(1u, object.refs);

        VARIANT source;
        source.vt = VT_UNKNOWN;
        source.punkVal = &object;
        ASSERT_EQ(S_OK, value.CopyFrom(source));
        EXPECT_EQ(2u, object.refs);
        value.MoveTo(&handed);
        EXPECT_EQ(VT_EMPTY, value.get().vt);
    }
    EXPECT_EQ(2u, object.refs) << "the moved value is the receiver's";
    VariantClear(&handed);
    EXPECT_EQ(1u, object.refs);
}

TEST(GlobalMemory, TheScopeHoldsTheBlockLockedAndTheOwnerFreesIt) {
    fw::UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, 64));
    ASSERT_TRUE(block);
    {
        fw::GlobalLockScope locked(block.get());
        ASSERT_NE(nullptr, locked.data());
        EXPECT_GE(locked.size(), 64u);
        EXPECT_EQ(1u, GlobalFlags(block.get()) & GMEM_LOCKCOUNT);
    }
    EXPECT_EQ(0u, GlobalFlags(block.get()) & GMEM_LOCKCOUNT);
    fw::GlobalLockScope none(nullptr);
    EXPECT_EQ(nullptr, none.data());
    EXPECT_EQ(0u, none.size());
}

TEST(RegistryKey, AKeyThatCannotBeOpenedLeavesTheOwnerEmpty) {
    const std::string path = "Software\\VelmoraOwnerTests";
    fw::UniqueRegKey key;
    EXPECT_NE(ERROR_SUCCESS, fw::OpenRegKey(HKEY_CURRENT_USER, (path + "\\Missing").c_str(), KEY_READ, key));
    EXPECT_FALSE(key);
    ASSERT_EQ(ERROR_SUCCESS, fw::CreateRegKey(HKEY_CURRENT_USER, path.c_str(), KEY_WRITE, key));
    EXPECT_TRUE(key);
    key.reset();
    EXPECT_EQ(ERROR_SUCCESS, fw::OpenRegKey(HKEY_CURRENT_USER, path.c_str(), KEY_READ, key));
    key.reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

HRESULT Steps(HRESULT first, HRESULT second, int& ran) {
    RETURN_IF_FAILED(first);
    ++ran;
    RETURN_IF_FAILED(second);
    ++ran;
    return S_FALSE;
}

TEST(ReturnIfFailed, GivesTheFirstFailureAndSkipsTheRest) {
    int ran = 0;
    EXPECT_EQ(E_ACCESSDENIED, Steps(E_ACCESSDENIED, E_FAIL, ran));
    EXPECT_EQ(0, ran);
    EXPECT_EQ(E_FAIL, Steps(S_FALSE, E_FAIL, ran)) << "a success code other than S_OK goes on";
    EXPECT_EQ(1, ran);
    EXPECT_EQ(S_FALSE, Steps(S_OK, S_OK, ran));
    EXPECT_EQ(3, ran);
}

}  // namespace
