// The pieces of the binding that turn automation results and failures into plug-in values:
// EXCEPINFO and HRESULT to HostError, result coercion, UTF-8 <-> BSTR.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "host/com/automation_error.h"
#include "com/bstr.h"
#include "host/com/dispatch.h"
#include "com/variant.h"

namespace starwright::com {
namespace {

HRESULT __stdcall FillDescription(EXCEPINFO* info) {
    info->bstrDescription = SysAllocString(L"Filled in later");
    info->scode = static_cast<SCODE>(0x80040410);
    return S_OK;
}

// The system's own text for an error, read here without the code under test.
std::string SystemText(HRESULT hr) {
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr), 0,
                   text, 512, nullptr);
    std::wstring_view wide = text;
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) wide.remove_suffix(1);
    return ToUtf8(wide);
}

struct ExceptionCase {
    const char* name;
    SCODE scode;
    WORD wCode;
    const wchar_t* description;
    bool deferred;
    int32_t number;
    const char* expected;
};

TEST(AutomationErrorTest, ExceptionInfoBecomesHostError) {
    const ExceptionCase cases[] = {
        {"Scode", static_cast<SCODE>(0x80040401), 0, L"Camera error", false, static_cast<int32_t>(0x80040401), "Camera error"},
        {"WCode", 0, 1001, L"Cooler failed", false, 1001, "Cooler failed"},
        {"Deferred", 0, 0, nullptr, true, static_cast<int32_t>(0x80040410), "Filled in later"},
        {"NoCode", 0, 0, L"Something failed", false, static_cast<int32_t>(DISP_E_EXCEPTION), "Something failed"},
        {"NoDescription", E_POINTER, 0, nullptr, false, static_cast<int32_t>(E_POINTER), "Invalid pointer"},
        {"WCodeNoDescription", 0, 1001, nullptr, false, 1001, "Exception occurred."},
        {"Nothing", 0, 0, nullptr, false, static_cast<int32_t>(DISP_E_EXCEPTION), "Exception occurred."},
        {"OwnCodeNoDescription", static_cast<SCODE>(0x80040401), 0, nullptr, false, static_cast<int32_t>(0x80040401),
         "Automation error 0x80040401"},
        {"Unicode", E_FAIL, 0, L"Caméra \u00e0 l'arr\u00eat", false, static_cast<int32_t>(E_FAIL), "Caméra à l'arrêt"},
    };
    for (const ExceptionCase& c : cases) {
        SCOPED_TRACE(c.name);
        UniqueExcepInfo info;
        info.Get()->scode = c.scode;
        info.Get()->wCode = c.wCode;
        if (c.description) info.Get()->bstrDescription = SysAllocString(c.description);
        if (c.deferred) info.Get()->pfnDeferredFillIn = FillDescription;
        const HostError error = ErrorFromException(*info.Get());
        EXPECT_EQ(error.Number(), c.number);
        EXPECT_EQ(error.Description(), c.expected);
    }
}

// Windows' wording where the system has no text of its own (Wine lacks most of these), and the
// system's text where it has one.
TEST(AutomationErrorTest, FailuresHaveReadableTexts) {
    const struct {
        HRESULT hr;
        const char* text;  // nullptr: the system's own text
    } cases[] = {
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {DISP_E_MEMBERNOTFOUND, "Member not found."},
        {DISP_E_TYPEMISMATCH, "Type mismatch."},
        {DISP_E_UNKNOWNNAME, "Unknown name."},
        {CO_E_OBJNOTCONNECTED, "Object is not connected to server"},
        {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
        {RPC_E_DISCONNECTED, "The object invoked has disconnected from its clients."},
        {static_cast<HRESULT>(0xA004ABCD), "Automation error 0xA004ABCD"},
        {E_FAIL, nullptr},
        {E_ACCESSDENIED, nullptr},
        {E_OUTOFMEMORY, nullptr},
    };
    for (const auto& c : cases) {
        const std::string expected = c.text ? c.text : SystemText(c.hr);
        SCOPED_TRACE(expected);
        ASSERT_FALSE(expected.empty()) << "the system has no text for this code";
        const HostError error = ErrorFromHResult(c.hr);
        EXPECT_EQ(error.Description(), expected);
        EXPECT_EQ(error.Number(), static_cast<int32_t>(c.hr));
    }
}

struct ConvertCase {
    const char* name;
    VARTYPE from;
    double number;
    const wchar_t* text;
    VARTYPE to;
    int32_t failure;  // 0: converts
    const char* description;
};

TEST(AutomationErrorTest, ResultsThatDoNotConvertAreHostErrors) {
    const ConvertCase cases[] = {
        {"I2ToR8", VT_I2, -50, nullptr, VT_R8, 0, nullptr},
        {"R8ToI4", VT_R8, 40000, nullptr, VT_I4, 0, nullptr},
        {"BoolToR8", VT_BOOL, -1, nullptr, VT_R8, 0, nullptr},
        {"TextToR8", VT_BSTR, 0, L"warm", VT_R8, kErrTypeMismatch, "Type mismatch"},
        {"EmptyToDispatch", VT_EMPTY, 0, nullptr, VT_DISPATCH, kErrTypeMismatch, "Type mismatch"},
        {"HugeToI4", VT_R8, 1e12, nullptr, VT_I4, kErrOverflow, "Overflow"},
        {"R8ToBool", VT_R8, 2, nullptr, VT_BOOL, 0, nullptr},
    };
    for (const ConvertCase& c : cases) {
        SCOPED_TRACE(c.name);
        UniqueVariant v;
        V_VT(v.Get()) = c.from;
        if (c.from == VT_I2) V_I2(v.Get()) = static_cast<SHORT>(c.number);
        if (c.from == VT_R8) V_R8(v.Get()) = c.number;
        if (c.from == VT_BOOL) V_BOOL(v.Get()) = c.number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        if (c.from == VT_BSTR) V_BSTR(v.Get()) = SysAllocString(c.text);
        if (c.failure == 0) {
            EXPECT_NO_THROW(ConvertResult(v, c.to));
            EXPECT_EQ(v.Type(), c.to);
            continue;
        }
        try {
            ConvertResult(v, c.to);
            ADD_FAILURE() << "converted";
        } catch (const HostError& e) {
            EXPECT_EQ(e.Number(), c.failure);
            EXPECT_EQ(e.Description(), c.description);
        }
    }
}

// An object answering IUnknown and, if made so, IDispatch; it counts its references so a test
// sees that a converted answer keeps none once it is gone.
class CountedObject final : public IDispatch {
public:
    explicit CountedObject(bool dispatch) : dispatch_(dispatch) {}
    HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown && (!dispatch_ || iid != IID_IDispatch)) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG __stdcall AddRef() override { return ++references; }
    ULONG __stdcall Release() override { return --references; }
    HRESULT __stdcall GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT __stdcall GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT __stdcall GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT __stdcall Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    ULONG references = 1;

private:
    bool dispatch_;
};

// A host may answer by reference, with an array, or with a bare IUnknown. What converts is
// taken as a copy of the host's own value (which stays the host's), what does not is a type
// mismatch, and no object reference is kept either way.
TEST(AutomationErrorTest, AnswersByReferenceArraysAndBareObjects) {
    double number = 21.5;
    UniqueBstr text = MakeBstr("warm");
    BSTR textHeld = text.Get();
    CountedObject dispatchable(true);
    CountedObject plain(false);
    IDispatch* objectHeld = &dispatchable;
    const struct {
        const char* name;
        VARTYPE from;
        void* value;
        VARTYPE to;
        bool converts;
    } cases[] = {
        {"R8ByReference", VT_BYREF | VT_R8, &number, VT_R8, true},
        {"TextByReference", VT_BYREF | VT_BSTR, &textHeld, VT_BSTR, true},
        {"TextByReferenceToR8", VT_BYREF | VT_BSTR, &textHeld, VT_R8, false},
        {"Array", VT_ARRAY | VT_R8, SafeArrayCreateVector(VT_R8, 0, 3), VT_R8, false},
        {"ObjectByReference", VT_BYREF | VT_DISPATCH, &objectHeld, VT_DISPATCH, true},
        {"UnknownWithDispatch", VT_UNKNOWN, static_cast<IUnknown*>(&dispatchable), VT_DISPATCH, true},
        {"UnknownWithoutDispatch", VT_UNKNOWN, static_cast<IUnknown*>(&plain), VT_DISPATCH, false},
        {"NoObjectToR8", VT_UNKNOWN, nullptr, VT_R8, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            UniqueVariant v;
            V_VT(v.Get()) = c.from;
            V_BYREF(v.Get()) = c.value;
            // The answer's own reference, which the variant's owner gives back.
            if (c.from == VT_UNKNOWN && c.value) static_cast<IUnknown*>(c.value)->AddRef();
            try {
                ConvertResult(v, c.to);
                EXPECT_TRUE(c.converts);
                EXPECT_EQ(v.Type(), c.to);
            } catch (const HostError& e) {
                EXPECT_FALSE(c.converts);
                EXPECT_EQ(e.Number(), kErrTypeMismatch);
                EXPECT_EQ(e.Description(), "Type mismatch");
            }
            if (c.converts && c.to == VT_R8) {
                EXPECT_EQ(V_R8(v.Get()), 21.5);
            }
            if (c.converts && c.to == VT_BSTR) {
                EXPECT_NE(V_BSTR(v.Get()), textHeld);
                EXPECT_EQ(BstrToUtf8(V_BSTR(v.Get())), "warm");
            }
        }
        EXPECT_EQ(BstrToUtf8(textHeld), "warm");
        EXPECT_EQ(dispatchable.references, 1u);
        EXPECT_EQ(plain.references, 1u);
    }
}

TEST(BstrTest, Utf8SurvivesTheRoundTrip) {
    const std::string texts[] = {"", "M31", "Nébuleuse", "Плеяды", "天体", "\xF0\x9F\x94\xAD scope", std::string("a\0b", 3)};
    for (const std::string& text : texts) {
        UniqueBstr bstr = MakeBstr(text);
        ASSERT_NE(bstr.Get(), nullptr);
        EXPECT_EQ(BstrToUtf8(bstr.Get()), text);
    }
    EXPECT_EQ(SysStringLen(MakeBstr("\xF0\x9F\x94\xAD").Get()), 2u);  // one surrogate pair
    EXPECT_EQ(BstrToUtf8(nullptr), "");
    // Malformed UTF-8 becomes the replacement character instead of vanishing or truncating.
    EXPECT_EQ(BstrToUtf8(MakeBstr("a\xFFz").Get()), "a\xEF\xBF\xBDz");
}

}  // namespace
}  // namespace starwright::com
