#pragma once
// The host may answer with types and values the tools do not expect. An automation client
// converts an answer to the type it reads (VariantChangeType), and what does not convert is a
// failure with the client's own description. One table, read through the native adapters of
// the simulated host (tests/) and through the COM binding against the COM-served one under
// Wine (tests/wine/), in an English and a German locale: the two must agree.

#include <cstdio>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/sim/sim_host.h"

namespace starwright {

enum class Read { Bool, Double, Int32, Text, Object };

struct HostileAnswer {
    Read read;
    sim::Value answer;
    const char* english;  // what is read, as text, or the failure's description
    const char* german;   // nullptr: as in English
};

inline const std::vector<HostileAnswer>& HostileAnswers() {
    using sim::Value;
    constexpr const char* kMismatch = "Type mismatch";
    static const std::vector<HostileAnswer> cases = {
        {Read::Bool, Value::Bstr("True"), "True", nullptr},
        {Read::Bool, Value::Bstr("false"), "False", nullptr},
        {Read::Bool, Value::R8(0.5), "True", nullptr},
        {Read::Bool, Value::I2(0), "False", nullptr},
        {Read::Bool, Value{}, "False", nullptr},
        {Read::Bool, Value::Bstr("abc"), kMismatch, nullptr},
        {Read::Bool, Value::Null(), kMismatch, nullptr},
        {Read::Bool, Value::Error(static_cast<int32_t>(0x80020004)), kMismatch, nullptr},
        {Read::Bool, Value::Nothing(), kMismatch, nullptr},
        {Read::Double, Value::Bstr("-12.5"), "-12.5", "-125"},
        {Read::Double, Value::Bstr("-12,5"), "-125", "-12.5"},
        {Read::Double, Value::Bstr(" 3 "), "3", nullptr},
        {Read::Double, Value::Bool(true), "-1", nullptr},
        {Read::Double, Value::I4(-40), "-40", nullptr},
        {Read::Double, Value{}, "0", nullptr},
        {Read::Double, Value::Bstr("1e400"), "Overflow", nullptr},
        {Read::Double, Value::Bstr(""), kMismatch, nullptr},
        {Read::Double, Value::Null(), kMismatch, nullptr},
        {Read::Double, Value::Error(static_cast<int32_t>(0x80020004)), kMismatch, nullptr},
        {Read::Double, Value::Object(1), kMismatch, nullptr},
        {Read::Double, Value::Nothing(), kMismatch, nullptr},
        {Read::Int32, Value::R8(2.5), "2", nullptr},
        {Read::Int32, Value::R8(3.5), "4", nullptr},
        {Read::Int32, Value::I4(-3), "-3", nullptr},
        {Read::Int32, Value::Bstr("1,234"), "1234", "1"},
        {Read::Int32, Value::R8(1e10), "Overflow", nullptr},
        {Read::Int32, Value::R8(-2147483649.0), "Overflow", nullptr},
        {Read::Int32, Value::Bstr("many"), kMismatch, nullptr},
        {Read::Int32, Value::Null(), kMismatch, nullptr},
        {Read::Text, Value::R8(-12.5), "-12.5", "-12,5"},
        {Read::Text, Value::I4(7), "7", nullptr},
        {Read::Text, Value{}, "", nullptr},
        {Read::Text, Value::Null(), kMismatch, nullptr},
        {Read::Text, Value::Object(0), kMismatch, nullptr},
        {Read::Object, Value::Object(1), "an object", nullptr},
        {Read::Object, Value::Nothing(), "Object variable or With block variable not set", nullptr},
        {Read::Object, Value::I4(1), kMismatch, nullptr},
        {Read::Object, Value{}, kMismatch, nullptr},
    };
    return cases;
}

// Reads one answer through `factory`, which reaches `host`: a camera property, the document
// count, a display name or a document. Returns what was read as text, or the failure's
// description.
inline std::string ReadHostileAnswer(HostFactory& factory, sim::SimHost& host, const HostileAnswer& c) {
    host.documents = {{"M31.fit", {}}};
    host.camera.connected = true;
    try {
        char buffer[64];
        switch (c.read) {
        case Read::Bool:
            host.AnswerOn("Camera.Connected get", c.answer);
            return factory.CreateCamera()->GetConnected() ? "True" : "False";
        case Read::Double:
            host.AnswerOn("Camera.SensorTemperature get", c.answer);
            std::snprintf(buffer, sizeof buffer, "%.15g", factory.CreateCamera()->GetSensorTemperature());
            return buffer;
        case Read::Int32:
            host.AnswerOn("Documents.Count get", c.answer);
            return std::to_string(factory.CreateApplication()->GetDocuments()->GetCount());
        case Read::Text:
            host.AnswerOn("Document(1).DisplayName get", c.answer);
            return factory.CreateApplication()->GetDocuments()->GetItem(1)->GetDisplayName();
        case Read::Object:
            host.AnswerOn("Documents.Item get", c.answer);
            factory.CreateApplication()->GetDocuments()->GetItem(1);
            return "an object";
        }
    } catch (const Failure& failure) {
        host.answers.clear();
        return failure.Description();
    }
    return "?";
}

}  // namespace starwright
