// Writes a controller's representation document: how a remote-control surface lays the plug-in's
// parameters out on pages, cells and control layers.
#pragma once

#include "base/fstreamer.h"
#include "base/fstring.h"
#include "qel/ieditcontroller.h"

namespace Calvereth {

// Elements nest one level at a time: document, representation, page, cell, layer, title display.
// An element that does not fit the current nesting is refused with false and nothing is written.
// Texts are UTF-8 (null counts as empty). Text that XML 1.0 cannot carry (bytes that are not UTF-8,
// control characters other than tab, line feed and carriage return, U+FFFE, U+FFFF) is refused the
// same way: false, nothing written, the nesting unchanged. Everything else is escaped and comes back
// from a parser as given, so the output is well-formed XML.
class XmlRepresentationWriter
{
public:
    enum LayerType : int32
    {
        kKnob = 0,
        kPressedKnob,
        kSwitchKnob,
        kSwitch,
        kLED,
        kLink
    };

    // The stream is written from its current position; no reference is taken.
    explicit XmlRepresentationWriter(IBStream* stream);

    // Declaration, document type and the root element.
    bool startDocument();
    // The plug-in element, once, before the representation.
    bool writePlugin(const TUID controllerClassId, const char* name, const char* vendor);
    // The host attribute is left out when the host text is null or empty.
    bool startRepresentation(const char* name, const char* vendor, const char* version, const char* host = nullptr);
    // A unit id below 0 leaves the unitID attribute out.
    bool startPage(const char* name, int32 unitId = -1);
    bool endPage();
    bool startCell();
    bool endCell();
    bool addEmptyCell();
    // Function and style are left out when null; an opened layer is closed by endLayer.
    bool startLayer(int32 type, int32 parameterId, const char* function = nullptr, const char* style = nullptr);
    bool addLayer(int32 type, int32 parameterId, const char* function = nullptr, const char* style = nullptr);
    bool endLayer();
    bool startTitleDisplay();
    bool addTitle(const char* text);
    bool endTitleDisplay();
    // Closes whatever is open after startDocument, down to the root; false before startDocument, once
    // the document is ended, or when the stream takes less than the closing lines.
    bool endDocument();

    // One parameter as a control (an on/off parameter a looped switch, any other a knob) or as a display.
    bool addControlLayer(const Qel::ParameterInfo& info);
    bool addDisplayLayer(const Qel::ParameterInfo& info);

private:
    enum State : int32
    {
        kNone,
        kDocument,
        kRepresentation,
        kPage,
        kCell,
        kLayer,
        kTitleDisplay,
        kDone
    };

    bool writeLayer(int32 type, int32 parameterId, const char* function, const char* style, bool empty);
    // Depth tabs, the text and the line end.
    bool writeLine(int32 depth, const String& text);

    IBStreamer streamer;
    int32 state = kNone;
};

} // namespace Calvereth
