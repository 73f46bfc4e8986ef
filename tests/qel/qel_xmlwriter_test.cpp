// The representation writer's output, parsed back by a real XML parser and compared field by field.
#include <gtest/gtest.h>

#include <expat.h>

#include <functional>
#include <string>
#include <vector>

#include "base/memorystream.h"
#include "pluginset/common/qel/xmlrepresentationwriter.h"

using namespace Calvereth;
using Writer = XmlRepresentationWriter;

namespace {

// Every element as its depth, name, attributes in document order and text content; empty when the
// document is not well-formed.
struct Parsed
{
    std::vector<std::string> elements;
    std::vector<size_t> open;
    // Text since the last tag; only a title ("name") holds text, everything else is layout.
    std::string text;
};

std::vector<std::string> parse(MemoryStream* stream)
{
    Parsed out;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &out);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto* p = static_cast<Parsed*>(data);
            std::string e = std::to_string(p->open.size()) + " " + name;
            for (int i = 0; attributes[i]; i += 2)
                e += std::string(" ") + attributes[i] + "=" + attributes[i + 1];
            p->open.push_back(p->elements.size());
            p->elements.push_back(e + " |");
            p->text.clear();
        },
        [](void* data, const XML_Char* name) {
            auto* p = static_cast<Parsed*>(data);
            if (std::string(name) == "name")
                p->elements[p->open.back()] += p->text;
            p->open.pop_back();
            p->text.clear();
        });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* s, int n) {
        static_cast<Parsed*>(data)->text.append(s, static_cast<size_t>(n));
    });
    const bool wellFormed = XML_Parse(parser, reinterpret_cast<const char*>(stream->getData()),
                                      static_cast<int>(stream->getSize()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    stream->release();
    return wellFormed ? out.elements : std::vector<std::string>();
}

// A call that must answer false and leave the stream as it was.
void expectRefused(MemoryStream* stream, const std::function<bool()>& call)
{
    const int64_t size = stream->getSize();
    EXPECT_FALSE(call());
    EXPECT_EQ(stream->getSize(), size);
}

Qel::ParameterInfo parameter(uint32 id, int32 stepCount)
{
    Qel::ParameterInfo info;
    info.id = id;
    info.stepCount = stepCount;
    return info;
}

TEST(QelXmlWriter, DocumentParsesBackFieldByField)
{
    auto* stream = new MemoryStream;
    Writer w(stream);
    ASSERT_TRUE(w.startDocument());
    ASSERT_TRUE(w.writePlugin(FUID(0x6D826A83, 0x82B44A8D, 0xB374804F, 0xBE779C68), "N & <Co>", "C \"Q\" 'R'"));
    ASSERT_TRUE(w.startRepresentation("Main", "V", "1.0", "Host > 2"));
    ASSERT_TRUE(w.startPage("M\xC3\xA9ter", 1));
    ASSERT_TRUE(w.startCell());
    ASSERT_TRUE(w.addControlLayer(parameter(3, 1)));
    ASSERT_TRUE(w.addControlLayer(parameter(6, 0)));
    ASSERT_TRUE(w.addLayer(Writer::kLED, 7, nullptr, "ring"));
    ASSERT_TRUE(w.endCell());
    ASSERT_TRUE(w.addEmptyCell());
    ASSERT_TRUE(w.endPage());
    ASSERT_TRUE(w.startPage("Second"));
    ASSERT_TRUE(w.startCell());
    ASSERT_TRUE(w.addDisplayLayer(parameter(4, 0)));
    ASSERT_TRUE(w.startLayer(Writer::kSwitch, 5, "toggle", "flat"));
    ASSERT_TRUE(w.startTitleDisplay());
    ASSERT_TRUE(w.addTitle("Gain <dB>"));
    ASSERT_TRUE(w.addTitle("G&"));
    ASSERT_TRUE(w.endDocument()); // closes the title display, layer, cell and page
    EXPECT_FALSE(w.endDocument());
    const std::string text(reinterpret_cast<const char*>(stream->getData()), stream->getSize());
    EXPECT_EQ(text.find('\n'), std::string::npos); // lines end in carriage returns
    EXPECT_NE(text.find("<!DOCTYPE qelXML PUBLIC \"-//Calvereth//DTD QEL Remote 1.1//EN\""), std::string::npos);
    const std::vector<std::string> expected = {
        "0 qelXML version=1.0 |",
        "1 plugin classID=6D826A8382B44A8DB374804FBE779C68 name=N & <Co> vendor=C \"Q\" 'R' |",
        "1 representation name=Main vendor=V version=1.0 host=Host > 2 |",
        "2 page name=M\xC3\xA9ter unitID=1 |",
        "3 cell |",
        "4 layer type=switch parameterID=3 function=pushIncLooped |",
        "4 layer type=knob parameterID=6 |",
        "4 layer type=LED parameterID=7 ledStyle=ring |",
        "3 cell |",
        "2 page name=Second |",
        "3 cell |",
        "4 layer type=LED parameterID=4 |",
        "4 layer type=switch parameterID=5 function=toggle switchStyle=flat |",
        "5 titleDisplay |",
        "6 name |Gain <dB>",
        "6 name |G&"};
    EXPECT_EQ(parse(stream), expected) << text;
}

TEST(QelXmlWriter, ElementsOutOfPlaceAreRefusedUnwritten)
{
    auto* stream = new MemoryStream;
    Writer w(stream);
    const auto refused = [stream](const std::function<bool()>& call) { expectRefused(stream, call); };
    refused([&] { return w.startPage("early"); });
    ASSERT_TRUE(w.startDocument());
    ASSERT_TRUE(w.startRepresentation("R", "V", "1", ""));
    refused([&] { return w.writePlugin(FUID(), "late", "v"); });
    refused([&] { return w.endPage(); });
    ASSERT_TRUE(w.startPage("P"));
    refused([&] { return w.startLayer(Writer::kKnob, 1); });
    ASSERT_TRUE(w.startCell());
    refused([&] { return w.addLayer(Writer::kLink + 1, 1); });
    refused([&] { return w.addTitle("t"); });
    ASSERT_TRUE(w.startLayer(Writer::kPressedKnob, 2));
    refused([&] { return w.startCell(); });
    ASSERT_TRUE(w.endLayer());
    ASSERT_TRUE(w.endDocument());
    const std::vector<std::string> expected = {"0 qelXML version=1.0 |", "1 representation name=R vendor=V version=1 |",
                                               "2 page name=P |", "3 cell |",
                                               "4 layer type=pressedKnob parameterID=2 |"};
    EXPECT_EQ(parse(stream), expected);
}

// Text XML 1.0 cannot carry (control characters, bytes that are not UTF-8, surrogates, U+FFFE) is
// refused wherever it goes, writing nothing; tabs and line ends come back exactly as given.
TEST(QelXmlWriter, TextXmlCannotCarryIsRefusedAndTheRestRoundTrips)
{
    const char* bad[] = {"bad\x01name", "caf\xE9", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xEF\xBF\xBE", "x\x1Fy"};
    auto* stream = new MemoryStream;
    Writer w(stream);
    const auto refused = [stream](const std::function<bool()>& call) { expectRefused(stream, call); };
    ASSERT_TRUE(w.startDocument());
    for (const char* t : bad) {
        refused([&] { return w.writePlugin(FUID(), t, "v"); });
        refused([&] { return w.writePlugin(FUID(), "n", t); });
    }
    ASSERT_TRUE(w.writePlugin(FUID(), "n", "v"));
    for (const char* t : bad) {
        refused([&] { return w.startRepresentation(t, "v", "1"); });
        refused([&] { return w.startRepresentation("r", t, "1"); });
        refused([&] { return w.startRepresentation("r", "v", t); });
        refused([&] { return w.startRepresentation("r", "v", "1", t); });
    }
    ASSERT_TRUE(w.startRepresentation("r", "v", "1"));
    for (const char* t : bad)
        refused([&] { return w.startPage(t); });
    ASSERT_TRUE(w.startPage("a\tb\r\nc\rd \xF0\x9F\x8E\x9A"));
    ASSERT_TRUE(w.startCell());
    for (const char* t : bad) {
        refused([&] { return w.addLayer(Writer::kKnob, 1, t); });
        refused([&] { return w.startLayer(Writer::kKnob, 1, nullptr, t); });
    }
    ASSERT_TRUE(w.startLayer(Writer::kKnob, 1));
    ASSERT_TRUE(w.startTitleDisplay());
    for (const char* t : bad)
        refused([&] { return w.addTitle(t); });
    ASSERT_TRUE(w.addTitle("\tx\r\n"));
    ASSERT_TRUE(w.endDocument());
    const std::vector<std::string> expected = {"0 qelXML version=1.0 |",
                                               "1 plugin classID=00000000000000000000000000000000 name=n vendor=v |",
                                               "1 representation name=r vendor=v version=1 |",
                                               "2 page name=a\tb\r\nc\rd \xF0\x9F\x8E\x9A |",
                                               "3 cell |",
                                               "4 layer type=knob parameterID=1 |",
                                               "5 titleDisplay |",
                                               "6 name |\tx\r\n"};
    EXPECT_EQ(parse(stream), expected);
}

// The root is closed whatever is open when the document ends, and only once.
TEST(QelXmlWriter, EndingAtAnyDepthClosesTheDocument)
{
    // Each step opens one more element, and the element as it parses back.
    const std::vector<std::pair<std::function<bool(Writer&)>, std::string>> steps = {
        {[](Writer& w) { return w.startDocument(); }, "0 qelXML version=1.0 |"},
        {[](Writer& w) { return w.writePlugin(FUID(), "n", "v"); },
         "1 plugin classID=00000000000000000000000000000000 name=n vendor=v |"},
        {[](Writer& w) { return w.startRepresentation("r", "v", "1"); },
         "1 representation name=r vendor=v version=1 |"},
        {[](Writer& w) { return w.startPage("p"); }, "2 page name=p |"},
        {[](Writer& w) { return w.startCell(); }, "3 cell |"},
        {[](Writer& w) { return w.startLayer(Writer::kLink, 9); }, "4 layer type=link parameterID=9 |"},
        {[](Writer& w) { return w.startTitleDisplay(); }, "5 titleDisplay |"}};
    for (size_t depth = 1; depth <= steps.size(); ++depth) {
        auto* stream = new MemoryStream;
        Writer w(stream);
        EXPECT_FALSE(w.endDocument());
        EXPECT_EQ(stream->getSize(), 0);
        std::vector<std::string> expected;
        for (size_t i = 0; i < depth; ++i) {
            ASSERT_TRUE(steps[i].first(w));
            expected.push_back(steps[i].second);
        }
        EXPECT_TRUE(w.endDocument()) << depth;
        EXPECT_FALSE(w.endDocument()) << depth;
        EXPECT_FALSE(w.startDocument()) << depth;
        EXPECT_EQ(parse(stream), expected) << depth;
    }
}

} // namespace
