// The simulated host's COM objects as a raw automation client sees them: the contract the
// binding and the plug-in rely on when they run against the simulation.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/com/automation_error.h"
#include "com/bstr.h"
#include "host/com/host_ids.h"
#include "com/variant.h"
#include "host/sim/com/sim_com_server.h"
#include "host/sim/sim_host.h"

namespace starwright {
namespace {

using Microsoft::WRL::ComPtr;
namespace ids = com::host_ids;

class SimComServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(server_->Register(), S_OK);
        ASSERT_EQ(CoCreateInstance(ids::kCameraClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(camera_.GetAddressOf())),
                  S_OK);
    }

    // One put with the given argument and named arguments; returns the HRESULT.
    HRESULT Put(DISPID id, const VARIANT& value, UINT namedCount, DISPID named, EXCEPINFO* info = nullptr) {
        VARIANT arg = value;
        DISPPARAMS params{&arg, namedCount ? &named : nullptr, 1, namedCount};
        UINT argError = 0;
        return camera_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, info, &argError);
    }

    sim::SimHost host_;
    std::unique_ptr<sim::SimComServer> server_ = std::make_unique<sim::SimComServer>(host_);
    ComPtr<IDispatch> camera_;
};

VARIANT Variant(VARTYPE type, double number) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    switch (type) {
    case VT_BOOL: V_BOOL(&v) = static_cast<VARIANT_BOOL>(number); break;
    case VT_I2: V_I2(&v) = static_cast<SHORT>(number); break;
    case VT_I4: V_I4(&v) = static_cast<LONG>(number); break;
    case VT_R8: V_R8(&v) = number; break;
    case VT_DATE: V_DATE(&v) = number; break;
    default: break;
    }
    return v;
}

struct PutCase {
    const char* name;
    VARIANT value;
    UINT namedCount;
    HRESULT expected;
    const char* recorded;  // nullptr: nothing recorded
};

// What reaches the host's call log, and what is refused before it, for the ways a client can
// get a put wrong.
TEST_F(SimComServerTest, PutsAreRecordedWithTheTypeTheyCameWith) {
    const PutCase cases[] = {
        {"True", Variant(VT_BOOL, VARIANT_TRUE), 1, S_OK, "Camera.PreLinkFlag put Bool True"},
        {"False", Variant(VT_BOOL, VARIANT_FALSE), 1, S_OK, "Camera.PreLinkFlag put Bool False"},
        {"TrueAsOne", Variant(VT_BOOL, 1), 1, DISP_E_TYPEMISMATCH, nullptr},
        {"Long", Variant(VT_I4, -1), 1, DISP_E_EXCEPTION, "Camera.PreLinkFlag put I4 -1"},
        {"Date", Variant(VT_DATE, 1), 1, DISP_E_EXCEPTION, "Camera.PreLinkFlag put Empty"},
        {"NotNamed", Variant(VT_BOOL, VARIANT_TRUE), 0, DISP_E_PARAMNOTFOUND, nullptr},
    };
    for (const PutCase& c : cases) {
        SCOPED_TRACE(c.name);
        host_.calls.clear();
        com::UniqueExcepInfo info;
        EXPECT_EQ(Put(ids::camera::kPreLinkFlag, c.value, c.namedCount, DISPID_PROPERTYPUT, info.Get()), c.expected);
        EXPECT_EQ(host_.CallTexts(), c.recorded ? std::vector<std::string>{c.recorded} : std::vector<std::string>{});
    }
}

TEST_F(SimComServerTest, RaisedErrorsCarrySourceNumberAndDescription) {
    struct Case {
        int32_t number;
        SCODE scode;
        WORD wCode;
    };
    for (const Case& c : {Case{static_cast<int32_t>(0x80040401), static_cast<SCODE>(0x80040401), 0}, Case{1001, 0, 1001}}) {
        host_.FailOn("Camera.Connected put", c.number, "Link refused");
        com::UniqueExcepInfo info;
        ASSERT_EQ(Put(ids::camera::kConnected, Variant(VT_BOOL, VARIANT_TRUE), 1, DISPID_PROPERTYPUT, info.Get()), DISP_E_EXCEPTION);
        EXPECT_EQ(info.Get()->scode, c.scode);
        EXPECT_EQ(info.Get()->wCode, c.wCode);
        EXPECT_EQ(com::BstrToUtf8(info.Get()->bstrDescription), "Link refused");
        EXPECT_EQ(com::BstrToUtf8(info.Get()->bstrSource), "MaxIm.Simulated");
    }
}

TEST_F(SimComServerTest, UnknownMembersAndInterfaces) {
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(camera_->Invoke(999, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    // SignalRun is a method, Connected a property: each answers only to its own kind.
    EXPECT_EQ(camera_->Invoke(ids::camera::kConnected, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    LPOLESTR name = const_cast<LPOLESTR>(L"Exposure");
    DISPID id = 0;
    EXPECT_EQ(camera_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    name = const_cast<LPOLESTR>(L"setpoint");
    EXPECT_EQ(camera_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, ids::camera::kSetpoint);

    ComPtr<IUnknown> typed;
    EXPECT_EQ(camera_->QueryInterface(ids::kCameraInterface, reinterpret_cast<void**>(typed.GetAddressOf())), S_OK);
    EXPECT_EQ(camera_->QueryInterface(ids::kApplicationInterface, reinterpret_cast<void**>(typed.ReleaseAndGetAddressOf())),
              E_NOINTERFACE);
}

TEST_F(SimComServerTest, DocumentsAnswerTheirInterfaceAndNames) {
    host_.AddDocument("M31");
    ComPtr<IDispatch> application;
    ASSERT_EQ(CoCreateInstance(ids::kApplicationClass, nullptr, CLSCTX_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(application.GetAddressOf())),
              S_OK);
    DISPPARAMS none{};
    com::UniqueVariant list;
    ASSERT_EQ(application->Invoke(ids::application::kDocuments, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, list.Get(), nullptr, nullptr), S_OK);
    ASSERT_EQ(list.Type(), VT_DISPATCH);
    ComPtr<IUnknown> typed;
    EXPECT_EQ(V_DISPATCH(list.Get())->QueryInterface(ids::kDocumentListInterface, reinterpret_cast<void**>(typed.GetAddressOf())), S_OK);

    com::UniqueVariant count;
    ASSERT_EQ(V_DISPATCH(list.Get())->Invoke(ids::document_list::kCount, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, count.Get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(count.Type(), VT_I4);

    VARIANT index = Variant(VT_I2, 1);
    DISPPARAMS one{&index, nullptr, 1, 0};
    com::UniqueVariant document;
    ASSERT_EQ(V_DISPATCH(list.Get())->Invoke(ids::document_list::kItem, IID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &one, document.Get(), nullptr, nullptr), S_OK);
    ASSERT_EQ(document.Type(), VT_DISPATCH);
    EXPECT_EQ(V_DISPATCH(document.Get())->QueryInterface(ids::kDocumentInterface, reinterpret_cast<void**>(typed.ReleaseAndGetAddressOf())), S_OK);
    for (const wchar_t* member : {L"DisplayName", L"SetFITSKey"}) {
        LPOLESTR name = const_cast<LPOLESTR>(member);
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(V_DISPATCH(document.Get())->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
        EXPECT_NE(id, DISPID_UNKNOWN);
    }
}

// Clients may hold objects longer than the simulation lives (the window keeps its camera for
// the module's life); those objects must answer, not touch a host that is gone.
TEST_F(SimComServerTest, ObjectsOutlivingTheServerAreDisconnected) {
    server_.reset();
    EXPECT_EQ(Put(ids::camera::kPreLinkFlag, Variant(VT_BOOL, VARIANT_TRUE), 1, DISPID_PROPERTYPUT), CO_E_OBJNOTCONNECTED);
    // Where the host is installed, asking for its camera class again would start the host.
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY installed = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{26819E05-F8BA-11D2-AA9C-444553540000}", 0, KEY_READ | view,
                          &installed) != ERROR_SUCCESS)
            continue;
        RegCloseKey(installed);
        GTEST_SKIP() << "the host is installed on this PC: asking for its camera class would start it";
    }
    ComPtr<IDispatch> again;
    EXPECT_EQ(CoCreateInstance(ids::kCameraClass, nullptr, CLSCTX_SERVER, IID_IDispatch, reinterpret_cast<void**>(again.GetAddressOf())),
              REGDB_E_CLASSNOTREG);
}

}  // namespace
}  // namespace starwright
