#include "pluginset/common/qel/xmlrepresentationwriter.h"

#include "base/fuid.h"

#include <algorithm>
#include <iterator>

namespace Calvereth {
namespace {

constexpr const char* kLineEnd = "\r";
constexpr const char* kLayerTypes[] = {"knob", "pressedKnob", "switchKnob", "switch", "LED", "link"};

// True for UTF-8 made only of characters XML 1.0 can carry.
bool isXmlText(const char* text)
{
    String wide(text);
    if (!wide.toWideString(kCP_Utf8))
        return false;
    const char16* units = wide.text16();
    for (int32 i = 0; i < wide.length(); ++i) {
        const char16 c = units[i];
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF)
            return false;
    }
    return true;
}

// Markup characters as entities; tabs and line ends as character references, which parsers keep
// as they are.
struct Escape
{
    char character;
    const char* text;
};
constexpr Escape kEscapes[] = {{'&', "&amp;"},   {'<', "&lt;"},  {'>', "&gt;"},   {'"', "&quot;"},
                               {'\'', "&apos;"}, {'\t', "&#9;"}, {'\n', "&#10;"}, {'\r', "&#13;"}};

// False, appending nothing, for text XML cannot carry.
bool appendEscaped(String& out, const char* text)
{
    text = text ? text : "";
    if (!isXmlText(text))
        return false;
    for (const char* p = text; *p; ++p) {
        const Escape* escape =
            std::find_if(std::begin(kEscapes), std::end(kEscapes), [p](const Escape& e) { return e.character == *p; });
        if (escape != std::end(kEscapes))
            out.append(escape->text);
        else
            out.append(*p);
    }
    return true;
}

bool appendAttribute(String& out, const char* name, const char* value)
{
    String escaped;
    if (!appendEscaped(escaped, value))
        return false;
    out.append(' ');
    out.append(name);
    out.append("=\"");
    out.append(escaped);
    out.append('"');
    return true;
}

bool appendAttribute(String& out, const char* name, int32 value)
{
    String number;
    number.printf("%d", value);
    return appendAttribute(out, name, number.text8());
}

const char* styleAttributeOf(int32 type)
{
    if (type == XmlRepresentationWriter::kLED)
        return "ledStyle";
    if (type == XmlRepresentationWriter::kSwitch)
        return "switchStyle";
    return "style";
}

} // namespace

XmlRepresentationWriter::XmlRepresentationWriter(IBStream* stream) : streamer(stream, kLittleEndian) {}

bool XmlRepresentationWriter::writeLine(int32 depth, const String& text)
{
    String line;
    line.append('\t', depth);
    line.append(text);
    line.append(kLineEnd);
    const int32 length = line.length();
    return streamer.writeRaw(line.text8(), length) == length;
}

bool XmlRepresentationWriter::startDocument()
{
    if (state != kNone)
        return false;
    state = kDocument;
    return writeLine(0, String("<?xml version=\"1.0\" encoding=\"utf-8\"?>")) &&
           writeLine(0, String("<!DOCTYPE qelXML PUBLIC \"-//Calvereth//DTD QEL Remote 1.1//EN\" "
                               "\"qelremote-1.1.dtd\">")) &&
           writeLine(0, String("<qelXML version=\"1.0\">"));
}

bool XmlRepresentationWriter::writePlugin(const TUID controllerClassId, const char* name, const char* vendor)
{
    if (state != kDocument || !controllerClassId)
        return false;
    char8 classId[33] = {};
    FUID(controllerClassId).toString(classId);
    String line("<plugin");
    if (!appendAttribute(line, "classID", classId) || !appendAttribute(line, "name", name) ||
        !appendAttribute(line, "vendor", vendor))
        return false;
    line.append("/>");
    return writeLine(0, line);
}

bool XmlRepresentationWriter::startRepresentation(const char* name, const char* vendor, const char* version,
                                                  const char* host)
{
    if (state != kDocument)
        return false;
    String line("<representation");
    if (!appendAttribute(line, "name", name) || !appendAttribute(line, "vendor", vendor) ||
        !appendAttribute(line, "version", version) || (host && host[0] && !appendAttribute(line, "host", host)))
        return false;
    line.append('>');
    state = kRepresentation;
    return writeLine(1, line);
}

bool XmlRepresentationWriter::startPage(const char* name, int32 unitId)
{
    if (state != kRepresentation)
        return false;
    String line("<page");
    if (!appendAttribute(line, "name", name) || (unitId >= 0 && !appendAttribute(line, "unitID", unitId)))
        return false;
    line.append('>');
    state = kPage;
    return writeLine(2, line);
}

bool XmlRepresentationWriter::endPage()
{
    if (state != kPage)
        return false;
    state = kRepresentation;
    return writeLine(2, String("</page>"));
}

bool XmlRepresentationWriter::startCell()
{
    if (state != kPage)
        return false;
    state = kCell;
    return writeLine(3, String("<cell>"));
}

bool XmlRepresentationWriter::endCell()
{
    if (state != kCell)
        return false;
    state = kPage;
    return writeLine(3, String("</cell>"));
}

bool XmlRepresentationWriter::addEmptyCell()
{
    return state == kPage && writeLine(3, String("<cell/>"));
}

bool XmlRepresentationWriter::writeLayer(int32 type, int32 parameterId, const char* function, const char* style,
                                         bool empty)
{
    if (state != kCell || type < kKnob || type > kLink)
        return false;
    String line("<layer");
    if (!appendAttribute(line, "type", kLayerTypes[type]) || !appendAttribute(line, "parameterID", parameterId) ||
        (function && !appendAttribute(line, "function", function)) ||
        (style && !appendAttribute(line, styleAttributeOf(type), style)))
        return false;
    line.append(empty ? "/>" : ">");
    if (!empty)
        state = kLayer;
    return writeLine(4, line);
}

bool XmlRepresentationWriter::startLayer(int32 type, int32 parameterId, const char* function, const char* style)
{
    return writeLayer(type, parameterId, function, style, false);
}

bool XmlRepresentationWriter::addLayer(int32 type, int32 parameterId, const char* function, const char* style)
{
    return writeLayer(type, parameterId, function, style, true);
}

bool XmlRepresentationWriter::endLayer()
{
    if (state != kLayer)
        return false;
    state = kCell;
    return writeLine(4, String("</layer>"));
}

bool XmlRepresentationWriter::startTitleDisplay()
{
    if (state != kLayer)
        return false;
    state = kTitleDisplay;
    return writeLine(5, String("<titleDisplay>"));
}

bool XmlRepresentationWriter::addTitle(const char* text)
{
    if (state != kTitleDisplay || !text)
        return false;
    String line("<name>");
    if (!appendEscaped(line, text))
        return false;
    line.append("</name>");
    return writeLine(6, line);
}

bool XmlRepresentationWriter::endTitleDisplay()
{
    if (state != kTitleDisplay)
        return false;
    state = kLayer;
    return writeLine(5, String("</titleDisplay>"));
}

bool XmlRepresentationWriter::endDocument()
{
    if (state == kNone || state == kDone)
        return false;
    bool written = true;
    if (state == kTitleDisplay)
        written = endTitleDisplay() && written;
    if (state == kLayer)
        written = endLayer() && written;
    if (state == kCell)
        written = endCell() && written;
    if (state == kPage)
        written = endPage() && written;
    if (state == kRepresentation)
        written = writeLine(1, String("</representation>")) && written;
    state = kDone;
    return writeLine(0, String("</qelXML>")) && written;
}

bool XmlRepresentationWriter::addControlLayer(const Qel::ParameterInfo& info)
{
    if (info.stepCount == 1)
        return addLayer(kSwitch, static_cast<int32>(info.id), "pushIncLooped");
    return addLayer(kKnob, static_cast<int32>(info.id));
}

bool XmlRepresentationWriter::addDisplayLayer(const Qel::ParameterInfo& info)
{
    return addLayer(kLED, static_cast<int32>(info.id));
}

} // namespace Calvereth
