// The pieces of the binding that turn automation results and failures into plug-in values:
// EXCEPINFO and HRESULT to HostError, result coercion, UTF-8 <-> BSTR.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "host/com/automation_error.h"
#include "host/com/bstr.h"
#include "host/com/dispatch.h"
#include "host/com/variant.h"

namespace starwright::com {
namespace {

HRESULT __stdcall FillDescription(EXCEPINFO* info) {
    info->bstrDescription = SysAllocString(L"Filled in later");
    info->scode = static_cast<SCODE>(0x80040410);
    return S_OK;
}

struct ExceptionCase {
    const char* name;
    SCODE scode;
    WORD wCode;
    const wchar_t* description;
    bool deferred;
    int32_t number;
    std::string expected;  // empty: the system's text for `number`
};

TEST(AutomationErrorTest, ExceptionInfoBecomesHostError) {
    const ExceptionCase cases[] = {
        {"Scode", static_cast<SCODE>(0x80040401), 0, L"Camera error", false, static_cast<int32_t>(0x80040401), "Camera error"},
        {"WCode", 0, 1001, L"Cooler failed", false, 1001, "Cooler failed"},
        {"Deferred", 0, 0, nullptr, true, static_cast<int32_t>(0x80040410), "Filled in later"},
        {"NoCode", 0, 0, L"Something failed", false, static_cast<int32_t>(DISP_E_EXCEPTION), "Something failed"},
        {"NoDescription", E_ACCESSDENIED, 0, nullptr, false, static_cast<int32_t>(E_ACCESSDENIED), ""},
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
        EXPECT_EQ(error.Description(), c.expected.empty() ? HResultText(c.number) : c.expected);
        EXPECT_FALSE(error.Description().empty());
    }
}

TEST(AutomationErrorTest, FailuresHaveReadableTextsWithoutLineBreaks) {
    const HRESULT codes[] = {E_FAIL, E_ACCESSDENIED, E_OUTOFMEMORY, REGDB_E_CLASSNOTREG, DISP_E_MEMBERNOTFOUND,
                             DISP_E_TYPEMISMATCH, DISP_E_UNKNOWNNAME, CO_E_OBJNOTCONNECTED, CO_E_NOTINITIALIZED};
    for (HRESULT hr : codes) {
        const std::string text = HResultText(hr);
        SCOPED_TRACE(text);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find("Automation error"), std::string::npos);
        EXPECT_NE(text.back(), '\n');
        EXPECT_NE(text.back(), '\r');
        EXPECT_EQ(ErrorFromHResult(hr).Description(), text);
        EXPECT_EQ(ErrorFromHResult(hr).Number(), static_cast<int32_t>(hr));
    }
    EXPECT_EQ(HResultText(static_cast<HRESULT>(0xA004ABCD)), "Automation error 0xA004ABCD");
}

struct ConvertCase {
    const char* name;
    VARTYPE from;
    double number;
    const wchar_t* text;
    VARTYPE to;
    int32_t failure;  // 0: converts
};

TEST(AutomationErrorTest, ResultsThatDoNotConvertAreHostErrors) {
    const ConvertCase cases[] = {
        {"I2ToR8", VT_I2, -50, nullptr, VT_R8, 0},
        {"R8ToI4", VT_R8, 40000, nullptr, VT_I4, 0},
        {"BoolToR8", VT_BOOL, -1, nullptr, VT_R8, 0},
        {"TextToR8", VT_BSTR, 0, L"warm", VT_R8, kErrTypeMismatch},
        {"EmptyToDispatch", VT_EMPTY, 0, nullptr, VT_DISPATCH, kErrTypeMismatch},
        {"HugeToI4", VT_R8, 1e12, nullptr, VT_I4, kErrOverflow},
        {"R8ToBool", VT_R8, 2, nullptr, VT_BOOL, 0},
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
        }
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
