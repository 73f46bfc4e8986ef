// The representation writer's output, parsed back by a real XML parser and compared field by field.
#include <gtest/gtest.h>

#include <expat.h>

#include <map>
#include <string>
#include <vector>

#include "base/memorystream.h"
#include "pluginset/common/qel/xmlrepresentationwriter.h"

using namespace Calvereth;
using Writer = XmlRepresentationWriter;

namespace {

struct Element
{
    std::string name;
    int depth;
    std::map<std::string, std::string> attributes;
    std::string text;
};

struct Parsed
{
    bool wellFormed = false;
    std::vector<Element> elements;
    std::vector<int> open;
};

Parsed parse(const MemoryStream& stream)
{
    Parsed out;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &out);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto* p = static_cast<Parsed*>(data);
            Element e{name, static_cast<int>(p->open.size()), {}, {}};
            for (int i = 0; attributes[i]; i += 2)
                e.attributes[attributes[i]] = attributes[i + 1];
            p->open.push_back(static_cast<int>(p->elements.size()));
            p->elements.push_back(e);
        },
        [](void* data, const XML_Char*) { static_cast<Parsed*>(data)->open.pop_back(); });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* s, int n) {
        auto* p = static_cast<Parsed*>(data);
        if (!p->open.empty())
            p->elements[p->open.back()].text.append(s, n);
    });
    out.wellFormed = XML_Parse(parser, reinterpret_cast<const char*>(stream.getData()),
                               static_cast<int>(stream.getSize()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return out;
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
    const FUID cid(0x6D826A83, 0x82B44A8D, 0xB374804F, 0xBE779C68);
    {
        Writer w(stream);
        ASSERT_TRUE(w.startDocument());
        ASSERT_TRUE(w.writePlugin(cid, "Norrik & <Co>", "Calvereth \"Q\" 'R'"));
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
    }
    const std::string text(reinterpret_cast<const char*>(stream->getData()), stream->getSize());
    EXPECT_EQ(text.find('\n'), std::string::npos); // lines end in carriage returns
    EXPECT_EQ(text.back(), '\r');
    EXPECT_NE(text.find("<!DOCTYPE qelXML PUBLIC \"-//Calvereth//DTD QEL Remote 1.1//EN\""), std::string::npos);
    const Parsed p = parse(*stream);
    stream->release();
    ASSERT_TRUE(p.wellFormed) << text;

    using A = std::map<std::string, std::string>;
    const std::vector<Element> expected = {
        {"qelXML", 0, {{"version", "1.0"}}, {}},
        {"plugin",
         1,
         {{"classID", "6D826A8382B44A8DB374804FBE779C68"},
          {"name", "Norrik & <Co>"},
          {"vendor", "Calvereth \"Q\" 'R'"}},
         {}},
        {"representation", 1, {{"name", "Main"}, {"vendor", "V"}, {"version", "1.0"}, {"host", "Host > 2"}}, {}},
        {"page", 2, {{"name", "M\xC3\xA9ter"}, {"unitID", "1"}}, {}},
        {"cell", 3, {}, {}},
        {"layer", 4, {{"type", "switch"}, {"parameterID", "3"}, {"function", "pushIncLooped"}}, {}},
        {"layer", 4, {{"type", "knob"}, {"parameterID", "6"}}, {}},
        {"layer", 4, {{"type", "LED"}, {"parameterID", "7"}, {"ledStyle", "ring"}}, {}},
        {"cell", 3, {}, {}},
        {"page", 2, {{"name", "Second"}}, {}},
        {"cell", 3, {}, {}},
        {"layer", 4, {{"type", "LED"}, {"parameterID", "4"}}, {}},
        {"layer", 4, {{"type", "switch"}, {"parameterID", "5"}, {"function", "toggle"}, {"switchStyle", "flat"}}, {}},
        {"titleDisplay", 5, A{}, {}},
        {"name", 6, {}, "Gain <dB>"},
        {"name", 6, {}, "G&"}};
    ASSERT_EQ(p.elements.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p.elements[i].name, expected[i].name);
        EXPECT_EQ(p.elements[i].depth, expected[i].depth);
        EXPECT_EQ(p.elements[i].attributes, expected[i].attributes);
        if (p.elements[i].name == "name") {
            EXPECT_EQ(p.elements[i].text, expected[i].text);
        }
    }
}

TEST(QelXmlWriter, ElementsOutOfPlaceAreRefusedUnwritten)
{
    auto* stream = new MemoryStream;
    Writer w(stream);
    const auto refusedQuietly = [&](bool answer) {
        const int64_t size = stream->getSize();
        EXPECT_FALSE(answer);
        EXPECT_EQ(stream->getSize(), size);
    };
    refusedQuietly(w.startPage("early"));
    refusedQuietly(w.endDocument());
    ASSERT_TRUE(w.startDocument());
    refusedQuietly(w.startDocument());
    refusedQuietly(w.startCell());
    ASSERT_TRUE(w.startRepresentation("R", "V", "1", ""));
    refusedQuietly(w.writePlugin(FUID(), "late", "v"));
    refusedQuietly(w.endPage());
    refusedQuietly(w.addEmptyCell());
    ASSERT_TRUE(w.startPage("P"));
    refusedQuietly(w.startLayer(Writer::kKnob, 1));
    refusedQuietly(w.startTitleDisplay());
    ASSERT_TRUE(w.startCell());
    refusedQuietly(w.addLayer(Writer::kLink + 1, 1));
    refusedQuietly(w.addLayer(-1, 1));
    refusedQuietly(w.addTitle("t"));
    refusedQuietly(w.startPage("nested"));
    ASSERT_TRUE(w.startLayer(Writer::kPressedKnob, 2));
    refusedQuietly(w.startCell());
    ASSERT_TRUE(w.endLayer());
    ASSERT_TRUE(w.endDocument());
    const Parsed p = parse(*stream);
    stream->release();
    ASSERT_TRUE(p.wellFormed);
    ASSERT_EQ(p.elements.size(), 5u);
    EXPECT_EQ(p.elements[1].attributes.count("host"), 0u);
    EXPECT_EQ(p.elements[4].attributes.at("type"), "pressedKnob");
}

} // namespace
