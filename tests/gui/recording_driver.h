// A GUI driver for the model's tests: its gadgets keep their native item
// states and client size in plain fields and write every driver operation
// they receive into a journal, so a test sees exactly what the model asked
// of the platform side.
#pragma once
#include <string>
#include <vector>

#include "gui/gui.h"

class TRecordingGadget : public TGadget {
    KV_CLASS(TRecordingGadget, TGadget)
public:
    int gadgetClass = -1;
    int style = 0;
    int clientWidth = 0, clientHeight = 0;
    int state = 0;
    int attachedFlags = -1;
    int hotKey = 0, hotMods = 0;
    Ref<TIconStrip> strip;
    std::vector<int>* nativeStates = new std::vector<int>();  // one per native item
    std::vector<std::string>* journal = new std::vector<std::string>();

    ~TRecordingGadget() override {
        delete nativeStates;
        delete journal;
    }

    int ClientWidth() override { return clientWidth; }
    int ClientHeight() override { return clientHeight; }
    int State() override { return state; }
    int Activate(int command) override {
        Note("activate " + std::to_string(command));
        return 0;
    }
    void SetShow(int show) override { Note("show " + std::to_string(show)); }
    void SetEnabled(int enabled) override { Note("enable " + std::to_string(enabled)); }
    void SetSelected(int selected) override { Note("select " + std::to_string(selected)); }
    void SetColor(int r, int g, int b) override { Note("colour " + Rgb(r, g, b)); }
    void SetTextColor(int r, int g, int b) override { Note("text colour " + Rgb(r, g, b)); }
    void SetText(String* value) override { Note("text " + Utf8(value)); }
    void SetIconStrip(TIconStrip* value) override { strip = value; }
    void SetHotKey(int key, int mods) override {
        hotKey = key;
        hotMods = mods;
    }
    void AttachGraphics(int flags) override { attachedFlags = flags; }
    void Rethink() override {
        Note("rethink " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" +
             std::to_string(height));
    }

    void NativeClearItems() override {
        nativeStates->clear();
        Note("native clear");
    }
    void NativeInsertItem(int index, String* value, String*, int icon, Object*) override {
        nativeStates->insert(nativeStates->begin() + index, 0);
        Note("native insert " + std::to_string(index) + " " + Utf8(value) + " icon " + std::to_string(icon));
    }
    void NativeModifyItem(int index, String* value, String* tip, int icon, Object*) override {
        Note("native modify " + std::to_string(index) + " " + Utf8(value) + " tip " + Utf8(tip) + " icon " +
             std::to_string(icon));
    }
    void NativeRemoveItem(int index) override {
        nativeStates->erase(nativeStates->begin() + index);
        Note("native remove " + std::to_string(index));
    }
    void NativeSetItemState(int index, int value) override { nativeStates->at(index) = value; }
    int NativeItemState(int index) override { return nativeStates->at(index); }

    // The journal's entries since the last call, then an empty journal.
    std::vector<std::string> TakeJournal() {
        std::vector<std::string> taken;
        taken.swap(*journal);
        return taken;
    }

private:
    void Note(const std::string& entry) { journal->push_back(entry); }
    static std::string Rgb(int r, int g, int b) {
        return std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
    }
    static std::string Utf8(String* value) {
        char* text = value->ToUtf8();
        std::string copy(text);
        MemFreeBlock(text);
        return copy;
    }
};

class TRecordingDriver : public TVantaGUIDriver {
    KV_CLASS(TRecordingDriver, TVantaGUIDriver)
public:
    int created = 0;
    int colourToChoose = -1;  // -1: the user cancels
    int stripIcons = 0;       // icons of the strip LoadIconStrip makes; 0: no strip

    TGuiFont* LoadFont(String* name, int size, int style) override {
        TGuiFont* font = new TGuiFont();
        font->name = name;
        font->size = size;
        font->style = style;
        return font;
    }
    Ref<TGadget> desktop;

    TGadget* CreateGadget(int gadgetClass, String* text, int x, int y, int w, int h, TGadget* group,
                          int style) override {
        if (gadgetClass == GADGET_DESKTOP && !IsNull(desktop.get())) return desktop;
        ++created;
        TRecordingGadget* gadget = new TRecordingGadget();
        gadget->gadgetClass = gadgetClass;
        gadget->style = style;
        gadget->text = text;
        gadget->SetGroup(group, -1);
        gadget->SetShape(x, y, w, h);
        gadget->TakeJournal();
        if (gadgetClass == GADGET_DESKTOP) desktop = gadget;
        return gadget;
    }
    TGadget* ActiveGadget() override { return NullOf<TGadget>(); }
    int RequestColor(int, int, int) override {
        if (colourToChoose < 0) return 0;
        SetRequestedColor(colourToChoose);
        return 1;
    }
    TGuiFont* RequestFont(TGuiFont*) override { return NullOf<TGuiFont>(); }
    void SetPointer(int) override {}
    TIconStrip* LoadIconStrip(Object*) override {
        if (stripIcons == 0) return NullOf<TIconStrip>();
        TIconStrip* strip = new TIconStrip();
        strip->count = stripIcons;
        return strip;
    }
};
