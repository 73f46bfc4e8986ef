#include "host/frame_skin.h"

#include "host/outofmemory.h"

#include "host/numbertext.h"

#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <locale>
#include <memory>
#include <sstream>

namespace qelhost {

namespace {

struct XmlNode
{
    std::string name;
    std::map<std::string, std::string, std::less<>> attributes;
    std::vector<std::unique_ptr<XmlNode>> children;
    XmlNode* parent = nullptr;
};

struct XmlBuilder
{
    XML_Parser parser = nullptr;
    std::unique_ptr<XmlNode> root;
    XmlNode* current = nullptr;
    bool outOfMemory = false; // the parser was stopped for it: no exception goes through its C frames
};

void addElement(XmlBuilder* b, const XML_Char* name, const XML_Char** atts);

void XMLCALL startElement(void* data, const XML_Char* name, const XML_Char** atts)
{
    auto* b = static_cast<XmlBuilder*>(data);
    try {
        addElement(b, name, atts);
    } catch (const std::bad_alloc&) {
        b->outOfMemory = true;
        XML_StopParser(b->parser, XML_FALSE);
    }
}

void addElement(XmlBuilder* b, const XML_Char* name, const XML_Char** atts)
{
    auto node = std::make_unique<XmlNode>();
    node->name = name;
    for (int i = 0; atts && atts[i]; i += 2)
        node->attributes[atts[i]] = atts[i + 1];
    XmlNode* raw = node.get();
    if (!b->current) {
        b->root = std::move(node);
    } else {
        raw->parent = b->current;
        b->current->children.push_back(std::move(node));
    }
    b->current = raw;
}

void XMLCALL endElement(void* data, const XML_Char*)
{
    auto* b = static_cast<XmlBuilder*>(data);
    if (b->current)
        b->current = b->current->parent;
}

std::string get(const XmlNode& n, const char* key, const std::string& fallback = {})
{
    auto it = n.attributes.find(key);
    return it == n.attributes.end() ? fallback : it->second;
}

int32 getInt(const XmlNode& n, const char* key, int32 fallback = 0)
{
    std::string s = get(n, key);
    return s.empty() ? fallback : static_cast<int32>(std::strtol(s.c_str(), nullptr, 10));
}

bool parseRect(const std::string& text, ViewRect& r)
{
    int l = 0, t = 0, w = 0, h = 0;
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d", &l, &t, &w, &h) != 4 || w < 0 || h < 0)
        return false;
    r = {l, t, l + w, t + h};
    return true;
}

std::string svgColor(uint32 argb)
{
    char b[8];
    std::snprintf(b, sizeof b, "#%06X", argb & 0xFFFFFFu);
    return b;
}

std::string opacity(uint32 argb, float alpha = 1.f)
{
    return formatNumber(((argb >> 24) & 0xFF) / 255.0 * alpha, 3);
}

std::string escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The draw context the plug-in's views paint into: SVG elements in view coordinates.
class SvgContext final : public Uncounted<IDrawContext>
{
public:
    SvgContext(std::ostringstream& out, const SkinService* skin) : out_(out), skin_(skin) {}

    void setLineColor(uint32 color, int32 width, float alpha) override
    {
        line_ = color;
        lineWidth_ = width;
        lineAlpha_ = alpha;
    }
    void setFillColor(uint32 color, float alpha) override
    {
        fill_ = color;
        fillAlpha_ = alpha;
    }
    void setFont(const char16* name, int32 size, int32, float scale) override
    {
        guarded([&] { font_ = name ? toUtf8(name, 64) : "sans-serif"; });
        fontSize_ = static_cast<int32>(size * (scale > 0 ? scale : 1.f));
    }
    void setFontColor(uint32 color) override { fontColor_ = color; }
    void drawLine(const FramePoint& a, const FramePoint& b) override
    {
        out_ << "<line x1=\"" << a.x << "\" y1=\"" << a.y << "\" x2=\"" << b.x << "\" y2=\"" << b.y << "\" stroke=\""
             << svgColor(line_) << "\" stroke-opacity=\"" << opacity(line_, lineAlpha_) << "\" stroke-width=\""
             << lineWidth_ << "\"/>\n";
    }
    void drawRect(const ViewRect& r, int32 filled) override
    {
        out_ << "<rect x=\"" << r.left << "\" y=\"" << r.top << "\" width=\"" << (r.right - r.left) << "\" height=\""
             << (r.bottom - r.top) << "\" ";
        if (filled)
            out_ << "fill=\"" << svgColor(fill_) << "\" fill-opacity=\"" << opacity(fill_, fillAlpha_) << "\"/>\n";
        else
            out_ << "fill=\"none\" stroke=\"" << svgColor(line_) << "\" stroke-width=\"" << lineWidth_ << "\"/>\n";
    }
    void drawString(const char16* text, const ViewRect& r, int32, int32) override
    {
        guarded([&] { writeString(text, r); });
    }
    void drawBitmap(FUnknown* bitmap, const ViewRect& s, const ViewRect& d) override
    {
        guarded([&] { writeBitmap(bitmap, s, d); });
    }

private:
    // Runs a drawing step for the plug-in: out of memory marks the stream bad rather than throw
    // into the plug-in's drawing.
    template <class Step>
    void guarded(Step&& step)
    {
        try {
            step();
        } catch (const std::bad_alloc&) {
            out_.setstate(std::ios::badbit);
        }
    }
    void writeString(const char16* text, const ViewRect& r)
    {
        out_ << "<text x=\"" << (r.left + r.right) / 2 << "\" y=\"" << (r.top + r.bottom) / 2
             << "\" text-anchor=\"middle\" dominant-baseline=\"central\" font-family=\"" << escape(font_)
             << "\" font-size=\"" << fontSize_ << "\" fill=\"" << svgColor(fontColor_) << "\">"
             << escape(text ? toUtf8(text, 256) : std::string()) << "</text>\n";
    }
    void writeBitmap(FUnknown* bitmap, const ViewRect& s, const ViewRect& d)
    {
        IBitmapExtent* extent = nullptr;
        if (!bitmap || bitmap->queryInterface(iid::IBitmapExtent.b, reinterpret_cast<void**>(&extent)) != kResultOk)
            return;
        auto* skinBitmap = dynamic_cast<SkinBitmap*>(extent);
        extent->release();
        int32 sw = s.right - s.left, sh = s.bottom - s.top, dw = d.right - d.left, dh = d.bottom - d.top;
        if (!skinBitmap || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
            return;
        const SkinBitmapDef& def = skinBitmap->def();
        out_ << "<svg data-bitmap=\"" << escape(def.name) << "\" x=\"" << d.left << "\" y=\"" << d.top << "\" width=\""
             << dw << "\" height=\"" << dh << "\" viewBox=\"" << s.left << ' ' << s.top << ' ' << sw << ' ' << sh
             << "\" preserveAspectRatio=\"none\">";
        if (skin_ && skin_->bitmap(def.name) == skinBitmap) {
            out_ << "<use xlink:href=\"#bm-" << escape(def.name) << "\"/>";
        } else {
            // A bitmap the host made to size: drawn in place in its colour.
            uint32 c = def.stops.empty() ? 0xFF808080 : def.stops.back().second;
            out_ << "<rect width=\"" << def.width << "\" height=\"" << def.height << "\" fill=\"" << svgColor(c)
                 << "\"/>";
        }
        out_ << "</svg>\n";
    }

    std::ostringstream& out_;
    const SkinService* skin_;
    uint32 line_ = 0xFFFFFFFF, fill_ = 0xFF000000, fontColor_ = 0xFFFFFFFF;
    int32 lineWidth_ = 1, fontSize_ = 10;
    float lineAlpha_ = 1.f, fillAlpha_ = 1.f;
    std::string font_ = "sans-serif";
};

// The skin element's attributes, for the plug-in's view builders.
class ViewAttributes final : public RefCounted<IViewAttributes>
{
public:
    explicit ViewAttributes(const SkinElement& e) : element_(e) {}
    tresult queryInterface(const std::uint8_t* iid, void** obj) override
    {
        return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IViewAttributes, this}});
    }
    const char8* getString(const char8* name) override
    {
        auto it = element_.attributes.find(name ? std::string_view(name) : std::string_view());
        return it == element_.attributes.end() ? nullptr : it->second.c_str();
    }

private:
    const SkinElement& element_;
};

} // namespace

std::string SkinElement::attribute(const std::string& name, const std::string& fallback) const
{
    auto it = attributes.find(name);
    return it == attributes.end() ? fallback : it->second;
}

bool parseColor(const std::string& text, uint32& argb)
{
    if (text.size() != 7 && text.size() != 9)
        return false;
    if (text[0] != '#')
        return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str() + 1, &end, 16);
    if (*end)
        return false;
    argb = text.size() == 7 ? 0xFF000000u | static_cast<uint32>(v) : static_cast<uint32>(v);
    return true;
}

bool parseSkin(const std::string& text, SkinModel& model, std::string& error)
{
    XmlBuilder builder;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (!parser)
        throw std::bad_alloc();
    builder.parser = parser;
    XML_SetUserData(parser, &builder);
    XML_SetElementHandler(parser, startElement, endElement);
    bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) != XML_STATUS_ERROR;
    const bool noMemory = builder.outOfMemory || XML_GetErrorCode(parser) == XML_ERROR_NO_MEMORY;
    if (!ok && !noMemory) {
        error = std::string("skin: ") + XML_ErrorString(XML_GetErrorCode(parser)) + " at line " +
                std::to_string(XML_GetCurrentLineNumber(parser));
    }
    XML_ParserFree(parser);
    if (noMemory)
        throw std::bad_alloc();
    if (!ok)
        return false;
    if (!builder.root || builder.root->name != "skin") {
        error = "skin: the root element is not <skin>";
        return false;
    }
    SkinModel m;
    m.name = get(*builder.root, "name");
    for (auto& section : builder.root->children) {
        if (section->name == "colors") {
            for (auto& c : section->children) {
                uint32 argb = 0;
                if (c->name == "color" && parseColor(get(*c, "value"), argb))
                    m.colors[get(*c, "name")] = argb;
            }
        } else if (section->name == "bitmaps") {
            for (auto& b : section->children) {
                if (b->name != "bitmap")
                    continue;
                SkinBitmapDef def;
                def.name = get(*b, "name");
                def.width = getInt(*b, "width");
                def.height = getInt(*b, "height");
                def.horizontal = get(*b, "direction") == "right";
                for (auto& s : b->children) {
                    uint32 argb = 0;
                    if (s->name == "stop" && parseColor(get(*s, "color"), argb))
                        def.stops.emplace_back(readNumber(get(*s, "at", "0")), argb);
                }
                if (def.name.empty() || def.width <= 0 || def.height <= 0) {
                    error = "skin: bitmap '" + def.name + "' without a name or size";
                    return false;
                }
                m.bitmaps.push_back(std::move(def));
            }
        } else if (section->name == "view") {
            SkinViewDef v;
            v.name = get(*section, "name");
            v.width = getInt(*section, "width");
            v.height = getInt(*section, "height");
            v.background = get(*section, "background");
            for (auto& e : section->children) {
                SkinElement el;
                el.type = e->name;
                el.attributes = e->attributes;
                if (!parseRect(get(*e, "rect"), el.rect)) {
                    error = "skin: element <" + e->name + "> of view '" + v.name + "' without a valid rect";
                    return false;
                }
                v.elements.push_back(std::move(el));
            }
            m.views.push_back(std::move(v));
        }
    }
    if (m.views.empty()) {
        error = "skin: no view";
        return false;
    }
    model = std::move(m);
    return true;
}

// ---- bitmaps ----

tresult SkinBitmap::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IBitmapExtent, this}});
}

// ---- skin service ----

SkinService::~SkinService()
{
    unload();
}

tresult SkinService::queryInterface(const std::uint8_t* iid, void** obj)
{
    ISkinService* self = this;
    return answerQuery(this, iid, obj,
                       {{iid::FUnknown, self},
                        {iid::ISkinService, self},
                        {iid::IColorGroupInformation, static_cast<IColorGroupInformation*>(this)}});
}

void SkinService::unload()
{
    for (auto& b : bitmaps_)
        b.second->release();
    bitmaps_.clear();
    model_ = SkinModel{};
    loaded_ = false;
}

bool SkinService::loadText(const std::string& text)
{
    SkinModel m;
    if (!parseSkin(text, m, error_))
        return false;
    unload();
    model_ = std::move(m);
    for (auto& def : model_.bitmaps) {
        auto* made = new SkinBitmap(def);
        try {
            bitmaps_[def.name] = made;
        } catch (const std::bad_alloc&) {
            made->release();
            throw;
        }
    }
    loaded_ = true;
    ++loadCount_;
    return true;
}

tresult SkinService::loadSkin(void*, const char16* fileName)
{
    return answerForPlugIn([&] { return loadFile(fileName); });
}

tresult SkinService::loadFile(const char16* fileName)
{
    // The bundle is the one this host loaded: its resources folder holds the skin.
    if (!fileName)
        return kInvalidArgument;
    std::string name = toUtf8(fileName, 256);
    if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) {
        error_ = "skin: bad file name '" + name + "'";
        return kInvalidArgument;
    }
    const std::string path = resources_ + "/" + name;
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOMEM)
            throw std::bad_alloc(); // not a missing skin
        error_ = "skin: cannot open " + path;
        return kResultFalse;
    }
    // Read piece by piece rather than through a stream insertion, which would take running out of
    // memory for the file's end.
    std::string text;
    char piece[4096];
    while (in.read(piece, sizeof piece) || in.gcount() > 0)
        text.append(piece, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        error_ = "skin: cannot read " + resources_ + "/" + name;
        return kResultFalse;
    }
    return loadText(text) ? kResultOk : kResultFalse;
}

tresult SkinService::applyColorGroup(FUnknown* group)
{
    if (!group)
        return kInvalidArgument;
    ++colorGroupsApplied_;
    return kResultOk;
}

tresult SkinService::getColor(const char8* name, uint32& color)
{
    auto it = model_.colors.find(name ? std::string_view(name) : std::string_view());
    if (it == model_.colors.end())
        return kResultFalse;
    color = it->second;
    return kResultOk;
}

uint32 SkinService::color(const std::string& nameOrHex, uint32 fallback) const
{
    uint32 argb = 0;
    if (parseColor(nameOrHex, argb))
        return argb;
    auto it = model_.colors.find(nameOrHex);
    return it == model_.colors.end() ? fallback : it->second;
}

SkinBitmap* SkinService::bitmap(std::string_view name) const
{
    auto it = bitmaps_.find(name);
    return it == bitmaps_.end() ? nullptr : it->second;
}

tresult SkinService::getBitmap(const char8* name, FUnknown** out)
{
    if (!out)
        return kInvalidArgument;
    // The skin keeps its bitmaps: no reference for the caller.
    *out = bitmap(name ? std::string_view(name) : std::string_view());
    return *out ? kResultOk : kResultFalse;
}

tresult SkinService::createView(const char8* name, IPlugController* controller, IPlugView** view)
{
    if (!view)
        return kInvalidArgument;
    *view = nullptr;
    if (!name || !loaded_)
        return kResultFalse;
    return answerForPlugIn([&] {
        for (auto& def : model_.views) {
            if (def.name == name) {
                auto* made = new EditorView(*this, def, controller);
                try {
                    made->build();
                } catch (const std::bad_alloc&) {
                    made->release();
                    throw;
                }
                *view = made;
                return kResultOk;
            }
        }
        return kResultFalse;
    });
}

// ---- editor view ----

EditorView::EditorView(SkinService& skin, const SkinViewDef& def, IPlugController* controller)
: skin_(skin), def_(def), controller_(controller)
{
    skin_.addRef();
    if (controller_)
        controller_->addRef();
}

void EditorView::build()
{
    IViewBuilder* builder = nullptr;
    if (!controller_ ||
        controller_->queryInterface(iid::IViewBuilder.b, reinterpret_cast<void**>(&builder)) != kResultOk)
        return;
    // Whatever runs out of memory on the way holds no reference.
    struct Held
    {
        FUnknown* object;
        ~Held()
        {
            if (object)
                object->release();
        }
    };
    Held heldBuilder{builder};
    for (const SkinElement& e : def_.elements) {
        if (e.type != "subview")
            continue;
        const std::string name = e.attribute("name");
        Held attributes{new ViewAttributes(e)};
        FUnknown* inOut = attributes.object;
        const tresult answer = builder->createSubView(name.c_str(), e.rect, &inOut);
        // A host view that came back is ours, with the reference for us.
        Held back{inOut != attributes.object ? inOut : nullptr};
        // A sub-view the controller could not make whole is no part of the display.
        if (answer == kOutOfMemory)
            throw std::bad_alloc();
        if (back.object) {
            HostView* hv = dynamic_cast<HostView*>(reinterpret_cast<IHostView*>(inOut));
            if (hv && subViews_.emplace(name, hv).second)
                back.object = nullptr;
        }
    }
}

EditorView::~EditorView()
{
    close();
    if (controller_)
        controller_->release();
    skin_.release();
}

void EditorView::close()
{
    for (auto& s : subViews_) {
        s.second->clearClient();
        s.second->release();
    }
    subViews_.clear();
}

tresult EditorView::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IPlugView, this}, {iid::HostEditorView, this}});
}

EditorView* asEditorView(IPlugView* view)
{
    void* obj = nullptr;
    if (!view || view->queryInterface(iid::HostEditorView.b, &obj) != kResultOk || !obj)
        return nullptr;
    auto* e = static_cast<EditorView*>(static_cast<IPlugView*>(obj));
    e->release();
    return e;
}

HostView* EditorView::subView(const std::string& name) const
{
    auto it = subViews_.find(name);
    return it == subViews_.end() ? nullptr : it->second;
}

std::size_t EditorView::subViewCount() const
{
    return subViews_.size();
}

HostValue* EditorView::value(const std::string& name) const
{
    IHostValue* v = nullptr;
    if (!controller_ || controller_->getValueByName(name.c_str(), &v) != kResultOk || !v)
        return nullptr;
    return dynamic_cast<HostValue*>(static_cast<IHostValueOptions*>(v));
}

std::string EditorView::renderSvg()
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\""
        << def_.width << "\" height=\"" << def_.height << "\" viewBox=\"0 0 " << def_.width << ' ' << def_.height
        << "\" data-skin=\"" << escape(skin_.model().name) << "\" data-view=\"" << escape(def_.name) << "\">\n<defs>\n";
    for (const SkinBitmapDef& b : skin_.model().bitmaps) {
        out << "<linearGradient id=\"g-" << escape(b.name) << "\" x1=\"0\" y1=\"" << (b.horizontal ? 0 : 1)
            << "\" x2=\"" << (b.horizontal ? 1 : 0) << "\" y2=\"0\">";
        for (auto& s : b.stops)
            out << "<stop offset=\"" << formatNumber(s.first, 6) << "\" stop-color=\"" << svgColor(s.second)
                << "\" stop-opacity=\"" << opacity(s.second) << "\"/>";
        out << "</linearGradient>\n<g id=\"bm-" << escape(b.name) << "\"><rect width=\"" << b.width << "\" height=\""
            << b.height << "\" fill=\"url(#g-" << escape(b.name) << ")\"/></g>\n";
    }
    for (const SkinElement& e : def_.elements)
        if (e.type == "subview")
            out << "<clipPath id=\"clip-" << escape(e.attribute("name")) << "\"><rect width=\""
                << e.rect.right - e.rect.left << "\" height=\"" << e.rect.bottom - e.rect.top << "\"/></clipPath>\n";
    out << "</defs>\n";
    uint32 bg = skin_.color(def_.background, 0xFF000000);
    out << "<rect width=\"" << def_.width << "\" height=\"" << def_.height << "\" fill=\"" << svgColor(bg) << "\"/>\n";
    for (const SkinElement& e : def_.elements) {
        const ViewRect& r = e.rect;
        const int32 w = r.right - r.left, h = r.bottom - r.top;
        uint32 color = skin_.color(e.attribute("color"), 0xFFFFFFFF);
        if (e.type == "rect") {
            out << "<rect x=\"" << r.left << "\" y=\"" << r.top << "\" width=\"" << w << "\" height=\"" << h
                << "\" fill=\"" << svgColor(color) << "\" fill-opacity=\"" << opacity(color) << "\"/>\n";
        } else if (e.type == "label" || e.type == "value" || e.type == "button") {
            std::string text = e.attribute("text");
            std::string bound = e.type == "value" ? e.attribute("name") : e.attribute("value");
            if (e.type == "value") {
                HostValue* v = value(bound);
                text = v ? v->text() : std::string();
                // A count drawn as an alarm only once it has counted something.
                if (v && v->getNormalized() > 0.f && !e.attribute("alarm-color").empty())
                    color = skin_.color(e.attribute("alarm-color"), color);
                std::string units = e.attribute("units");
                if (!units.empty() && !text.empty())
                    text += " " + units;
            }
            if (e.type == "button")
                out << "<rect x=\"" << r.left << "\" y=\"" << r.top << "\" width=\"" << w << "\" height=\"" << h
                    << "\" rx=\"3\" fill=\"none\" stroke=\"" << svgColor(color) << "\"/>\n";
            std::string align = e.attribute("align", e.type == "label" ? "left" : "right");
            int32 x = align == "left" ? r.left : (align == "center" ? (r.left + r.right) / 2 : r.right);
            if (e.type == "button")
                x = (r.left + r.right) / 2, align = "center";
            const char* anchor = align == "left" ? "start" : (align == "center" ? "middle" : "end");
            out << "<text";
            if (!bound.empty())
                out << " data-value=\"" << escape(bound) << "\"";
            out << " x=\"" << x << "\" y=\"" << (r.top + r.bottom) / 2 << "\" text-anchor=\"" << anchor
                << "\" dominant-baseline=\"central\" font-family=\"" << escape(e.attribute("font", "sans-serif"))
                << "\" font-size=\"" << e.attribute("size", "11") << "\" fill=\"" << svgColor(color) << "\">"
                << escape(text) << "</text>\n";
        } else if (e.type == "indicator") {
            HostValue* v = value(e.attribute("value"));
            double pos = v ? v->getNormalized() : 0.0;
            bool horizontal = e.attribute("orientation") == "horizontal";
            int32 x1, y1, x2, y2;
            if (horizontal) {
                x1 = x2 = r.left + static_cast<int32>(pos * w + 0.5);
                y1 = r.top;
                y2 = r.bottom;
            } else {
                y1 = y2 = r.bottom - static_cast<int32>(pos * h + 0.5);
                x1 = r.left;
                x2 = r.right;
            }
            out << "<line data-value=\"" << escape(e.attribute("value")) << "\" x1=\"" << x1 << "\" y1=\"" << y1
                << "\" x2=\"" << x2 << "\" y2=\"" << y2 << "\" stroke=\"" << svgColor(color)
                << "\" stroke-width=\"2\"/>\n";
        } else if (e.type == "subview") {
            std::string name = e.attribute("name");
            out << "<g data-view=\"" << escape(name) << "\" transform=\"translate(" << r.left << ',' << r.top
                << ")\" clip-path=\"url(#clip-" << escape(name) << ")\">\n";
            if (HostView* hv = subView(name)) {
                if (IHostViewClient* client = hv->client()) {
                    SvgContext context(out, &skin_);
                    counted(client->draw(&context, ViewRect{0, 0, w, h}));
                }
            }
            out << "</g>\n";
        }
    }
    out << "</svg>\n";
    // The stream, and the draw context the plug-in paints through, keep out of memory to themselves
    // as a bad stream: a picture with something missing is no picture.
    if (out.bad())
        throw std::bad_alloc();
    return out.str();
}

bool EditorView::click(int32 x, int32 y)
{
    for (auto it = def_.elements.rbegin(); it != def_.elements.rend(); ++it) {
        const SkinElement& e = *it;
        const ViewRect& r = e.rect;
        if (x < r.left || x >= r.right || y < r.top || y >= r.bottom)
            continue;
        if (e.type == "subview") {
            HostView* hv = subView(e.attribute("name"));
            if (!hv || !hv->client())
                continue;
            hv->mouseX = x - r.left;
            hv->mouseY = y - r.top;
            hv->client()->onMouseDown(x - r.left, y - r.top);
            return true;
        }
        if (e.type == "button") {
            HostValue* v = value(e.attribute("value"));
            if (!v || !controller_)
                continue;
            // Pressed and released: the switch goes on, then off again.
            v->setNormalized(0, 1.f);
            controller_->valueEdited(v, static_cast<uint32>(v->getId()));
            v->setNormalized(0, 0.f);
            controller_->valueEdited(v, static_cast<uint32>(v->getId()));
            return true;
        }
    }
    return false;
}

} // namespace qelhost
