// The JSON of every reader's result, and the C exports that hand it out.
#include <cstring>

#include "GlyphwickJson.h"
#include "GlyphwickMrz.h"
#include "report/JsonWriter.h"

namespace gw {

namespace {

using report::JsonWriter;

template <class Corners>
void WriteCorners(JsonWriter& j, const Corners& corners) {
    j.BeginArray();
    for (const auto& [x, y] : corners) j.BeginArray().Number(x).Number(y).EndArray();
    j.EndArray();
}

void WriteBox(JsonWriter& j, const std::array<int, 4>& box) {
    j.BeginArray();
    for (int v : box) j.Int(v);
    j.EndArray();
}

void WriteObject(JsonWriter& j, const LineObject& o) {
    j.BeginObject().Key("box");
    WriteBox(j, o.box);
    j.Key("character").Char(o.character).Key("score").Int(o.score).Key("tag").Int(o.tag);
    j.EndObject();
}

int CopyOut(const std::string& json, char* buffer, int size) {
    if (buffer != nullptr && size > 0) {
        const size_t n = std::min(json.size(), size_t(size - 1));
        std::memcpy(buffer, json.data(), n);
        buffer[n] = '\0';
    }
    return int(json.size());
}

}  // namespace

std::string MrzResultToJson(const MrzResult& r) {
    JsonWriter j;
    j.BeginObject();
    j.Key("found").Bool(r.found).Key("format").String(r.format).Key("valid").Bool(r.valid);
    j.Key("checks_ok").Bool(r.checksOk).Key("score").Int(r.score);
    j.Key("reasons").BeginArray();
    for (const std::string& s : r.reasons) j.String(s);
    j.EndArray();
    j.Key("lines").BeginArray();
    for (const std::string& l : r.lines) j.String(l);
    j.EndArray();
    j.Key("surname").String(r.surname).Key("given_names").String(r.givenNames);
    j.Key("birth_date").String(r.birthDate).Key("expiry_date").String(r.expiryDate);
    j.Key("expired").Bool(r.expired).Key("optional_data").String(r.optionalData);
    j.Key("fields").BeginObject();
    for (const MrzField& f : r.fields) {
        j.Key(f.name).BeginObject();
        j.Key("raw").String(f.raw).Key("value").String(f.value).Key("valid").Bool(f.valid);
        if (f.hasCheck) j.Key("check").Char(f.check);
        j.Key("check_valid").Bool(f.checkValid).Key("class_valid").Bool(f.classValid);
        j.EndObject();
    }
    j.EndObject();
    j.Key("checks").BeginArray();
    for (const MrzCheck& c : r.checks) {
        j.BeginObject().Key("field").String(c.field).Key("read").Char(c.read);
        j.Key("computed").Char(c.computed).Key("holds").Bool(c.holds).EndObject();
    }
    j.EndArray();
    j.Key("corrections").BeginArray();
    for (const MrzCorrection& c : r.corrections) {
        j.BeginObject().Key("line").Int(c.line + 1).Key("column").Int(c.column + 1);
        j.Key("from").Char(c.from).Key("to").Char(c.to).Key("field").String(c.field);
        j.EndObject();
    }
    j.EndArray();
    j.Key("orientation").Int(r.orientation).Key("skew").Number(r.skew);
    j.Key("character_height").Int(r.characterHeight).Key("corners");
    WriteCorners(j, r.corners);
    j.Key("confidence").BeginArray();
    for (const auto& line : r.characters) {
        j.BeginArray();
        for (const MrzCharacter& c : line) j.Number(c.confidence);
        j.EndArray();
    }
    j.EndArray();
    j.Key("candidates").BeginArray();
    for (const auto& line : r.characters) {
        j.BeginArray();
        for (const MrzCharacter& c : line) {
            j.BeginArray();
            for (const auto& [ch, score] : c.candidates)
                j.BeginArray().Char(ch).Number(score).EndArray();
            j.EndArray();
        }
        j.EndArray();
    }
    j.EndArray();
    j.Key("reaches_edge").Bool(r.reachesEdge);
    j.Key("mirrored").Bool(r.mirrored);
    j.Key("stopped").Bool(r.stopped).Key("stop_reason").String(r.stopReason);
    j.Key("error").String(r.error);
    j.EndObject();
    return j.Text();
}

std::string BarcodeResultsToJson(const std::vector<BarcodeResult>& results,
                                 const BarcodeReport* report) {
    JsonWriter j;
    j.BeginObject().Key("barcodes").BeginArray();
    for (const BarcodeResult& b : results) {
        j.BeginObject();
        j.Key("symbology").String(b.symbology == Symbology::Code39 ? "code39" : "code128");
        j.Key("text").Latin1(b.text);
        j.Key("values").BeginArray();
        for (int v : b.values) j.Int(v);
        j.EndArray();
        j.Key("characters").String(b.characters).Key("gs1").Bool(b.gs1);
        j.Key("code32").String(b.code32);
        // What a person reads under the bars: the Code 32 reading where there
        // is one, else the text.
        j.Key("human").Latin1(b.code32.empty() ? b.text : b.code32);
        j.Key("corners");
        WriteCorners(j, b.corners);
        j.Key("orientation").Int(b.orientation).Key("mirrored").Bool(b.mirrored);
        j.Key("checks_ok").Bool(b.checksOk).Key("lines").Int(b.lines);
        j.EndObject();
    }
    j.EndArray();
    j.Key("stopped").Bool(report != nullptr && report->stopped);
    j.Key("stop_reason").String(report != nullptr ? report->stopReason : std::string());
    j.EndObject();
    return j.Text();
}

std::string LinesResultToJson(const LinesResult& r) {
    JsonWriter j;
    j.BeginObject();
    j.Key("error_code").Int(r.status).Key("error").String(r.error).Key("font").String(r.font);
    j.Key("lines").BeginArray();
    for (const TextLine& l : r.lines) {
        j.BeginObject().Key("text").String(l.text).Key("tag").Int(l.tag);
        j.Key("score").Int(l.score).Key("pitch").Number(l.pitch).Key("box");
        WriteBox(j, l.box);
        j.Key("characters").BeginArray();
        for (const LineObject& o : l.characters) WriteObject(j, o);
        j.EndArray().EndObject();
    }
    j.EndArray();
    j.Key("objects").BeginArray();
    for (const LineObject& o : r.objects) WriteObject(j, o);
    j.EndArray();
    j.Key("stopped").Bool(r.stopped).Key("stop_reason").String(r.stopReason);
    j.EndObject();
    return j.Text();
}

}  // namespace gw

extern "C" int GW_ReadBarcodesJson(const DVImageProcessor* image, unsigned symbologies,
                                   char* buffer, int size) {
    if (image == nullptr) return -1;
    gw::BarcodeOptions o;
    if (symbologies != 0) {
        o.code39 = (symbologies & GW_BARCODE_CODE39) != 0;
        o.code128 = (symbologies & GW_BARCODE_CODE128) != 0;
    }
    // No exception may leave a C export (out of memory is -1 here).
    try {
        gw::BarcodeReport report;
        const auto results = gw::ReadBarcodes(*image, o, &report);
        return gw::CopyOut(gw::BarcodeResultsToJson(results, &report), buffer, size);
    } catch (const std::exception&) {
        return -1;
    }
}

extern "C" int GW_ReadLinesJson(const DVImageProcessor* image, char* buffer, int size) {
    if (image == nullptr) return -1;
    try {
        return gw::CopyOut(gw::LinesResultToJson(gw::ReadLines(*image)), buffer, size);
    } catch (const std::exception&) {
        return -1;
    }
}
