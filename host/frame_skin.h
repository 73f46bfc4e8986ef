// The skin service: loads the plug-in's skin file from the bundle's resources, hands out its
// colours and bitmaps, and builds the editor view that draws the display (as SVG) from the skin,
// the controller's values and the plug-in's meter views.
#pragma once

#include "host/frame_values.h"

#include <map>
#include <string>
#include <functional>
#include <string_view>
#include <vector>

namespace qelhost {

struct SkinElement
{
    std::string type;                                           // rect, label, value, indicator, button, subview
    std::map<std::string, std::string, std::less<>> attributes; // looked up by the plug-in's names as they are
    ViewRect rect{};
    std::string attribute(const std::string& name, const std::string& fallback = {}) const;
};

struct SkinViewDef
{
    std::string name;
    int32 width = 0, height = 0;
    std::string background;
    std::vector<SkinElement> elements;
};

struct SkinBitmapDef
{
    std::string name;
    int32 width = 0, height = 0;
    bool horizontal = false;                      // gradient runs left to right, else bottom to top
    std::vector<std::pair<double, uint32>> stops; // position 0..1, ARGB
};

struct SkinModel
{
    std::string name;
    std::map<std::string, uint32, std::less<>> colors;
    std::vector<SkinBitmapDef> bitmaps;
    std::vector<SkinViewDef> views;
};

// Parses the skin text; false with a message on malformed XML or a skin without views.
bool parseSkin(const std::string& text, SkinModel& model, std::string& error);
// "#AARRGGBB", "#RRGGBB" or a colour name of the skin.
bool parseColor(const std::string& text, uint32& argb);

class SkinBitmap final : public RefCounted<IBitmapExtent>
{
public:
    explicit SkinBitmap(SkinBitmapDef def) : def_(std::move(def)) {}
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult getExtent(int32& width, int32& height) override
    {
        width = def_.width;
        height = def_.height;
        return kResultOk;
    }
    const SkinBitmapDef& def() const { return def_; }

private:
    SkinBitmapDef def_;
};

class EditorView;

// Colour group information with no colour transforms to give.
class WithoutColorTransforms : public IColorGroupInformation
{
public:
    tresult getTransformCount(int32& count) override
    {
        count = 0;
        return kResultFalse;
    }
    tresult getTransform(int32, IColorTransform** transform) override
    {
        if (transform)
            *transform = nullptr;
        return kResultFalse;
    }
};

class SkinService final : public RefCounted<ISkinService, WithoutColorTransforms>
{
public:
    // The plug-in hands the skin its colour groups.
    tresult applyColorGroup(FUnknown* group) override;
    int colorGroupsApplied() const { return colorGroupsApplied_; }

    ~SkinService() override;
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult getColor(const char8* name, uint32& color) override;
    tresult loadSkin(void* bundle, const char16* fileName) override;
    tresult getBitmap(const char8* name, FUnknown** bitmap) override;
    tresult createView(const char8* name, IPlugController* controller, IPlugView** view) override;

    void setResourceDirectory(const std::string& dir) { resources_ = dir; }
    // Parses a skin from text (what loadSkin does with the file).
    bool loadText(const std::string& text);
    void unload();
    bool loaded() const { return loaded_; }
    int loadCount() const { return loadCount_; }
    const std::string& error() const { return error_; }
    const SkinModel& model() const { return model_; }
    uint32 color(const std::string& nameOrHex, uint32 fallback) const;
    SkinBitmap* bitmap(std::string_view name) const;

private:
    tresult loadFile(const char16* fileName);
    std::string resources_;
    SkinModel model_;
    std::map<std::string, SkinBitmap*, std::less<>> bitmaps_;
    bool loaded_ = false;
    int loadCount_ = 0;
    int colorGroupsApplied_ = 0;
    std::string error_;
};

// The display: the skin's view with the plug-in's sub-views in it.
class EditorView final : public RefCounted<IPlugView>
{
public:
    EditorView(SkinService& skin, const SkinViewDef& def, IPlugController* controller);
    ~EditorView() override;
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;

    // The whole display as an SVG document.
    std::string renderSvg();
    // A press at (x, y): reaches the sub-view or button under it. False when nothing is there.
    bool click(int32 x, int32 y);
    // The host view the plug-in built for a sub-view of the skin, or null.
    HostView* subView(const std::string& name) const;
    std::size_t subViewCount() const;
    const SkinViewDef& def() const { return def_; }
    // Asks the controller for the skin's sub-views. Throws std::bad_alloc when one could not be had
    // whole, for want of the host's memory or because the controller answered kOutOfMemory.
    void build();
    // Drops the plug-in's views (the host closes the editor).
    void close();

private:
    HostValue* value(const std::string& name) const;
    SkinService& skin_;
    SkinViewDef def_;
    IPlugController* controller_;
    std::map<std::string, HostView*> subViews_;
};

// The editor view behind a plug view that the controller handed back, or null.
EditorView* asEditorView(IPlugView* view);

} // namespace qelhost
