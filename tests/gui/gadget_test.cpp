// The gadget model over the recording driver: edge-lock layout, groups,
// items and their minimal-edit synchronisation with a source, selection,
// proxies, key filters, gadget events, hot keys and the public functions.
#include <gtest/gtest.h>

#include "graphics/graphics.h"
#include "gui/gui.h"
#include "runtime/exception.h"
#include "runtime/map.h"
#include "tests/gui/recording_driver.h"

KV_DEFINE_CLASS(TRecordingGadget, TGadget);
KV_DEFINE_CLASS(TRecordingDriver, TVantaGUIDriver);

namespace {

using Journal = std::vector<std::string>;

class Gui : public ::testing::Test {
protected:
    TRecordingDriver* driver = nullptr;

    void SetUp() override {
        StartGuiModule();
        driver = new TRecordingDriver();
        SetGUIDriver(driver);
        while (PollEvent() != 0) {
        }
    }
    void TearDown() override { SetGUIDriver(NullOf<TVantaGUIDriver>()); }

    static TRecordingGadget* R(TGadget* gadget) { return Downcast<TRecordingGadget>(gadget); }

    // A parent with the given client size and a child of it.
    TRecordingGadget* Parent(int clientWidth, int clientHeight) {
        TRecordingGadget* parent = R(CreatePanel(0, 0, clientWidth, clientHeight, NullOf<TGadget>(), 0, u""_s));
        parent->clientWidth = clientWidth;
        parent->clientHeight = clientHeight;
        return parent;
    }

    TRecordingGadget* ListOf(std::initializer_list<const char16_t*> texts) {
        TRecordingGadget* list = R(CreateListBox(0, 0, 100, 100, NullOf<TGadget>(), 0));
        for (const char16_t* text : texts) AddGadgetItem(list, String::FromWString(text));
        list->itemSnapshot = StringsOfItems(list);
        list->TakeJournal();
        return list;
    }

    static Array* Strings(std::initializer_list<const char16_t*> texts) {
        Array* strings = NewArray("$", static_cast<int>(texts.size()));
        int i = 0;
        for (const char16_t* text : texts) strings->SetObject(i++, String::FromWString(text));
        return strings;
    }

    static Array* StringsOfItems(TGadget* gadget) {
        Array* strings = NewArray("$", gadget->CountItems());
        for (int i = 0; i < gadget->CountItems(); ++i) strings->SetObject(i, gadget->ItemText(i));
        return strings;
    }

    static std::string ItemTexts(TGadget* gadget) {
        std::string texts;
        for (int i = 0; i < gadget->CountItems(); ++i) {
            char* text = gadget->ItemText(i)->ToUtf8();
            texts += (i ? " " : "") + std::string(text);
            MemFreeBlock(text);
        }
        return texts;
    }
};

int dropped = 0;
int DropLetterQ(TEvent* event, Object* context) {
    EXPECT_EQ(event->id, EVENT_KEYDOWN);
    EXPECT_TRUE(IsA<TRecordingGadget>(event->source.get()));
    EXPECT_TRUE(Equals(Downcast<String>(context), u"ctx"_s));
    if (event->data == 'Q' && event->mods == 2) {
        ++dropped;
        return 0;
    }
    return 1;
}

}  // namespace

// ---- layout ----

TEST_F(Gui, FreeEdgesKeepTheSizeAndTheCentresFraction) {
    TRecordingGadget* parent = Parent(200, 100);
    TGadget* kid = CreateButton(u"b"_s, 40, 10, 20, 30, parent, 0);  // centre x 50 of 200
    parent->clientWidth = 400;
    parent->clientHeight = 100;
    parent->LayoutKids();
    EXPECT_EQ(kid->width, 20);
    EXPECT_EQ(kid->height, 30);
    EXPECT_EQ(kid->x + kid->width / 2, 100);  // a quarter of 400
    EXPECT_EQ(kid->y, 10);
}

TEST_F(Gui, AlignedEdgesKeepBothDistancesAndRelativeOnesScale) {
    TRecordingGadget* parent = Parent(200, 100);
    TGadget* stretched = CreateTextField(10, 20, 150, 30, parent, 0);
    SetGadgetLayout(stretched, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED);
    TGadget* scaled = CreateTextField(50, 10, 50, 20, parent, 0);
    SetGadgetLayout(scaled, EDGE_RELATIVE, EDGE_RELATIVE, EDGE_ALIGNED, EDGE_CENTERED);
    TGadget* rightOnly = CreateButton(u"ok"_s, 160, 60, 30, 20, parent, 0);
    SetGadgetLayout(rightOnly, EDGE_CENTERED, EDGE_ALIGNED, EDGE_CENTERED, EDGE_ALIGNED);

    parent->clientWidth = 300;
    parent->clientHeight = 160;
    parent->LayoutKids();
    EXPECT_EQ(stretched->x, 10);
    EXPECT_EQ(stretched->width, 250);  // right distance 40 kept
    EXPECT_EQ(stretched->y, 20);
    EXPECT_EQ(stretched->height, 90);  // bottom distance 50 kept
    EXPECT_EQ(scaled->x, 75);          // 300 * 50 / 200
    EXPECT_EQ(scaled->width, 75);      // 300 * 100 / 200 - 75
    EXPECT_EQ(scaled->y, 10);
    EXPECT_EQ(scaled->height, 20);     // top aligned, bottom free: the height stays
    EXPECT_EQ(rightOnly->x, 260);      // the right edge keeps its distance of 10
    EXPECT_EQ(rightOnly->width, 30);
    EXPECT_EQ(rightOnly->y, 120);      // the bottom edge keeps its distance of 20
}

TEST_F(Gui, ZeroClientSizeCountsAsOneAtLockAndAtLayout) {
    TRecordingGadget* parent = Parent(0, 0);
    TGadget* kid = CreateButton(u"b"_s, 3, 4, 10, 10, parent, 0);
    EXPECT_EQ(kid->lockedClientWidth, 1);
    EXPECT_EQ(kid->lockedClientHeight, 1);
    SetGadgetLayout(kid, EDGE_RELATIVE, EDGE_RELATIVE, EDGE_ALIGNED, EDGE_ALIGNED);
    parent->clientWidth = 2;
    parent->clientHeight = 0;
    parent->LayoutKids();
    EXPECT_EQ(kid->x, 6);       // 2 * 3 / 1
    EXPECT_EQ(kid->width, 20);  // 2 * 13 / 1 - 6
    EXPECT_EQ(kid->y, 4);
    EXPECT_EQ(kid->height, 10);  // 4 + 10 + 1 - 1 - 4
}

TEST_F(Gui, LayoutReachesGrandchildrenWithoutRelocking) {
    TRecordingGadget* parent = Parent(100, 100);
    TRecordingGadget* panel = R(CreatePanel(0, 0, 100, 100, parent, 0, u""_s));
    SetGadgetLayout(panel, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED);
    panel->clientWidth = 100;
    panel->clientHeight = 100;
    TGadget* leaf = CreateButton(u"b"_s, 0, 0, 100, 10, panel, 0);
    SetGadgetLayout(leaf, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_CENTERED);
    panel->clientWidth = 180;  // what the panel's native side reports once it has grown
    parent->clientWidth = 180;
    parent->LayoutKids();
    EXPECT_EQ(panel->width, 180);
    EXPECT_EQ(leaf->width, 180);
    EXPECT_EQ(panel->lockedWidth, 100);  // SetArea lays out but does not re-lock
    EXPECT_EQ(panel->TakeJournal(), (Journal{"rethink 0,0 180x100"}));
}

// ---- groups ----

TEST_F(Gui, SetGroupPlacesTheGadgetByIndexAndLeavesItsOldParent) {
    TRecordingGadget* a = Parent(10, 10);
    TRecordingGadget* b = Parent(10, 10);
    TGadget* one = CreateButton(u"1"_s, 0, 0, 1, 1, a, 0);
    TGadget* two = CreateButton(u"2"_s, 0, 0, 1, 1, a, 0);
    TGadget* three = CreateButton(u"3"_s, 0, 0, 1, 1, a, 0);
    three->SetGroup(a, 0);
    EXPECT_EQ(a->kids->First(), three);
    one->SetGroup(a, 1);  // before the child at 1, which is `one` itself once it is out
    EXPECT_EQ(a->kids->ValueAtIndex(1), one);
    EXPECT_EQ(a->kids->Count(), 3);
    two->SetGroup(b, -5);
    EXPECT_EQ(a->kids->Count(), 2);
    EXPECT_EQ(b->kids->Last(), two);
    EXPECT_EQ(GadgetGroup(two), b);
    two->SetGroup(NullOf<TGadget>(), 0);
    EXPECT_EQ(b->kids->Count(), 0);
    EXPECT_TRUE(IsNull(two->parent.get()));
}

// ---- items ----

TEST_F(Gui, InsertingAtZeroOfAnEmptyGadgetIsAddingAndItemsShift) {
    TRecordingGadget* list = R(CreateListBox(0, 0, 9, 9, NullOf<TGadget>(), 0));
    InsertGadgetItem(list, 0, u"b"_s, 0, 3, u"tip"_s, u"x"_s);
    AddGadgetItem(list, u"c"_s);
    InsertGadgetItem(list, 0, u"a"_s);
    EXPECT_EQ(ItemTexts(list), "a b c");
    EXPECT_EQ(GadgetItemIcon(list, 1), 3);
    EXPECT_TRUE(Equals(list->ItemTip(1), u"tip"_s));
    EXPECT_TRUE(Equals(Downcast<String>(GadgetItemExtra(list, 1)), u"x"_s));
    RemoveGadgetItem(list, 1);
    EXPECT_EQ(ItemTexts(list), "a c");
    EXPECT_EQ(list->TakeJournal(), (Journal{"native insert 0 b icon 3", "native insert 1 c icon -1",
                                            "native insert 0 a icon -1", "native remove 1"}));
    EXPECT_THROW(InsertGadgetItem(list, 3, u"z"_s), ThrownObject);
    EXPECT_THROW(RemoveGadgetItem(list, 2), ThrownObject);
    EXPECT_EQ(CountGadgetItems(list), 2);
}

TEST_F(Gui, SelectionSetsClearsAndTogglesAndMinusOneMeansEveryItem) {
    TRecordingGadget* list = ListOf({u"a", u"b", u"c"});
    AddGadgetItem(list, u"d"_s, GADGETITEM_DEFAULT);  // selected as it is added
    EXPECT_EQ(SelectedGadgetItem(list), 3);
    SelectGadgetItem(list, -1);
    Array* all = SelectedGadgetItems(list);
    ASSERT_EQ(all->Length(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(all->DataAs<int>()[i], i);
    DeselectGadgetItem(list, 0);
    ToggleGadgetItem(list, 2);
    EXPECT_EQ(SelectedGadgetItem(list), 1);
    EXPECT_EQ(SelectedGadgetItems(list)->Length(), 2);
    DisableGadgetItem(list, 1);
    EXPECT_EQ(list->ItemState(1), GADGETITEM_SELECTED | STATE_DISABLED);
    EnableGadgetItem(list, 1);
    EXPECT_EQ(list->ItemState(1), GADGETITEM_SELECTED);
}

TEST_F(Gui, ToggleItemsShowTheirNextIconWhileSelected) {
    TRecordingGadget* bar = R(CreateToolBar(NullObject(), 0, 0, 9, 9, NullOf<TGadget>(), 0));
    AddGadgetItem(bar, u""_s, GADGETITEM_TOGGLE, 4);
    AddGadgetItem(bar, u""_s, GADGETITEM_TOGGLE, -1);  // no icon: nothing to swap
    bar->TakeJournal();
    ToggleGadgetItem(bar, 0);
    ToggleGadgetItem(bar, 1);
    ToggleGadgetItem(bar, 0);
    EXPECT_EQ(bar->TakeJournal(), (Journal{"native modify 0  tip  icon 5", "native modify 0  tip  icon 4"}));
}

TEST_F(Gui, SyncRemovesADroppedItemAndNothingElse) {
    TRecordingGadget* list = ListOf({u"a", u"b", u"c", u"d"});
    list->SyncItems(Strings({u"a", u"c", u"d"}));
    EXPECT_EQ(ItemTexts(list), "a c d");
    EXPECT_EQ(list->TakeJournal(), (Journal{"native remove 1"}));
}

TEST_F(Gui, SyncInsertsWhenAMatchIsTooFarThenTrimsTheTail) {
    TRecordingGadget* list = ListOf({u"a", u"b", u"c"});
    list->SyncItems(Strings({u"a", u"c"}));
    EXPECT_EQ(ItemTexts(list), "a c");
    EXPECT_EQ(list->TakeJournal(), (Journal{"native insert 1 c icon 0", "native remove 2", "native remove 2"}));
}

TEST_F(Gui, SyncOfNewEntriesInTheMiddleAndAtTheEnd) {
    TRecordingGadget* list = ListOf({u"a", u"c"});
    list->SyncItems(Strings({u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(ItemTexts(list), "a b c d");
    EXPECT_EQ(list->TakeJournal(), (Journal{"native insert 1 b icon 0", "native insert 3 d icon 0"}));
}

TEST_F(Gui, ItemSourcesOfEveryKind) {
    TRecordingGadget* list = R(CreateListBox(0, 0, 9, 9, NullOf<TGadget>(), 0));
    TList* source = CreateList();
    source->AddLast(u"one"_s);
    source->AddLast(NullObject());  // null elements give no item
    source->AddLast(u"two"_s);
    list->SetItemSource(source);
    EXPECT_EQ(ItemTexts(list), "one two");
    EXPECT_TRUE(Equals(list->itemSnapshot->StringAt(1), u"two"_s));
    EXPECT_EQ(list->ItemExtra(0), source);  // synchronised items carry the source

    source->AddFirst(u"zero"_s);
    EXPECT_EQ(list->SyncItemSource(), 0);
    EXPECT_EQ(ItemTexts(list), "zero one two");

    list->SetItemSource(Strings({u"x", u"y"}));
    EXPECT_EQ(ItemTexts(list), "x y");

    Array* objects = NewArray(":Object", 2);
    objects->SetObject(0, source);  // an object array gives the text forms
    list->SetItemSource(objects);
    EXPECT_EQ(CountGadgetItems(list), 1);
    EXPECT_TRUE(Equals(list->ItemText(0), source->ToString()));

    source->Clear();
    list->SetItemSource(source);
    EXPECT_EQ(CountGadgetItems(list), 0);
    list->itemSource = Strings({u"p"});
    list->SyncItemSource();
    list->itemSource = NewArray("i", 3);  // not a source of texts: empty
    EXPECT_EQ(list->SyncItemSource(), 1);
    EXPECT_EQ(CountGadgetItems(list), 0);
    EXPECT_EQ(list->SyncItemSource(), 0);  // nothing left to clear
}

// ---- events, proxies, filters ----

TEST_F(Gui, EventsOfAProxiedGadgetNameTheProxy) {
    TRecordingGadget* button = R(CreateButton(u"b"_s, 0, 0, 9, 9, NullOf<TGadget>(), 0));
    TProxyGadget* proxy = new TProxyGadget();
    EXPECT_EQ(proxy->State(), 0);  // the default target answers until SetProxy
    proxy->SetProxy(button);
    button->state = STATE_DISABLED;
    EXPECT_EQ(GadgetDisabled(proxy), 1);
    HideGadget(proxy);
    EXPECT_EQ(button->TakeJournal(), (Journal{"show 0"}));

    PostGadgetEvent(EVENT_GADGETACTION, button, 7, 1, 2, 3, u"e"_s);
    ASSERT_EQ(PollEvent(), EVENT_GADGETACTION);
    EXPECT_EQ(EventSource(), proxy);
    EXPECT_EQ(EventData(), 7);
    EXPECT_EQ(EventMods(), 1);
    EXPECT_EQ(EventX(), 2);
    EXPECT_EQ(EventY(), 3);
    EXPECT_TRUE(Equals(EventText(), u"e"_s));
    PostGadgetEvent(EVENT_GADGETACTION, NullOf<TGadget>(), 0, 0, 0, 0, NullObject());
    ASSERT_EQ(PollEvent(), EVENT_GADGETACTION);
    EXPECT_TRUE(IsNull(EventSource()));
}

TEST_F(Gui, KeyFiltersDecideOnlyForGadgetsThatHaveOne) {
    TRecordingGadget* field = R(CreateTextField(0, 0, 9, 9, NullOf<TGadget>(), 0));
    EXPECT_EQ(FilterKey(field, EVENT_KEYDOWN, 'Q', 2), 1);
    EXPECT_EQ(FilterKey(NullOf<TGadget>(), EVENT_KEYDOWN, 'Q', 2), 1);
    SetGadgetFilter(field, DropLetterQ, u"ctx"_s);
    dropped = 0;
    EXPECT_EQ(FilterKey(field, EVENT_KEYDOWN, 'Q', 2), 0);
    EXPECT_EQ(FilterKey(field, EVENT_KEYDOWN, 'Q', 0), 1);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(PollEvent(), 0);  // filter events are asked, never queued
}

TEST_F(Gui, HotKeysReuseTheirKeyAndHonourTheirOwner) {
    THotKey* any = SetHotKeyEvent(0x70, 2, NullOf<TEvent>(), 0);
    TEvent* hit = HotKeyEvent(0x70, 2, 1234);
    ASSERT_FALSE(IsNull(hit));
    EXPECT_EQ(hit->id, EVENT_HOTKEYHIT);
    EXPECT_EQ(hit->data, 0x70);
    EXPECT_EQ(hit->mods, 2);
    EXPECT_TRUE(IsNull(HotKeyEvent(0x70, 0, 1234)));

    TEvent* own = CreateEvent(EVENT_GADGETACTION, NullObject());
    THotKey* owned = SetHotKeyEvent(0x71, 0, own, 55);
    EXPECT_EQ(HotKeyEvent(0x71, 0, 55), own);
    EXPECT_TRUE(IsNull(HotKeyEvent(0x71, 0, 56)));
    EXPECT_EQ(SetHotKeyEvent(0x71, 0, own, 0), owned);  // the same registration, now for any window
    EXPECT_EQ(HotKeyEvent(0x71, 0, 56), own);

    RemoveHotKey(any);   // not at the head
    RemoveHotKey(owned);  // the head
    RemoveHotKey(owned);  // already gone: nothing
    EXPECT_TRUE(IsNull(HotKeyEvent(0x70, 2, 0)));
    EXPECT_TRUE(IsNull(HotKeyEvent(0x71, 0, 0)));
}

TEST_F(Gui, NativePointerKeysCompareByValue) {
    TMap* map = CreateMap();
    map->Insert(TIntWrapper::Create(0x400000), u"window"_s);
    map->Insert(TIntWrapper::Create(0x10), u"button"_s);
    EXPECT_TRUE(Equals(Downcast<String>(map->ValueForKey(TIntWrapper::Create(0x10))), u"button"_s));
    EXPECT_TRUE(IsNull(map->ValueForKey(TIntWrapper::Create(0x11))));
}

// ---- public functions ----

TEST_F(Gui, ToolBarsGetOneItemPerIconAndTipsSkipNullEntries) {
    driver->stripIcons = 3;
    TRecordingGadget* bar = R(CreateToolBar(u"incbin::icons.png"_s, 0, 0, 90, 30, NullOf<TGadget>(), 0));
    ASSERT_FALSE(IsNull(bar->strip.get()));
    ASSERT_EQ(CountGadgetItems(bar), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(GadgetItemIcon(bar, i), i);
    Array* tips = NewArray(":Object", 4);
    tips->SetObject(1, u"open"_s);
    tips->SetObject(3, u"save"_s);
    bar->TakeJournal();
    SetToolBarTips(bar, tips);
    EXPECT_TRUE(Equals(bar->ItemTip(0), u"open"_s));
    EXPECT_TRUE(Equals(bar->ItemTip(1), u"save"_s));
    EXPECT_TRUE(Equals(bar->ItemTip(2), u""_s));
    EXPECT_EQ(bar->TakeJournal(), (Journal{"native modify 0  tip open icon 0", "native modify 1  tip save icon 1"}));

    driver->stripIcons = 0;
    EXPECT_EQ(CountGadgetItems(CreateToolBar(u"missing.png"_s, 0, 0, 9, 9, NullOf<TGadget>(), 0)), 0);
}

TEST_F(Gui, CreationFunctionsPassTheirClassAndFollowUpCalls) {
    TRecordingGadget* desktop = R(Desktop());
    EXPECT_EQ(Desktop(), desktop);  // one desktop
    EXPECT_EQ(desktop->gadgetClass, GADGET_DESKTOP);
    TRecordingGadget* canvas = R(CreateCanvas(0, 0, 64, 48, NullOf<TGadget>(), 0));
    EXPECT_EQ(canvas->gadgetClass, GADGET_CANVAS);
    EXPECT_EQ(canvas->attachedFlags, DefaultGraphicsFlags());
    TRecordingGadget* menu = R(CreateMenu(u"&Open"_s, 42, NullOf<TGadget>(), 'O', 2));
    EXPECT_EQ(menu->gadgetClass, GADGET_MENU);
    EXPECT_EQ(menu->style, 42);  // the tag travels as the style
    EXPECT_EQ(menu->hotKey, 'O');
    EXPECT_EQ(menu->hotMods, 2);
    EXPECT_EQ(R(CreateMenu(u"x"_s, 1, NullOf<TGadget>()))->hotKey, 0);
    TRecordingGadget* panel = R(CreatePanel(1, 2, 3, 4, NullOf<TGadget>(), PANEL_GROUP, u"Title"_s));
    EXPECT_TRUE(Equals(panel->text, u"Title"_s));
    EXPECT_EQ(panel->style, PANEL_GROUP);
    EXPECT_EQ(GadgetX(panel) + GadgetY(panel) + GadgetWidth(panel) + GadgetHeight(panel), 10);
    int classes[] = {R(CreateTextArea(0, 0, 1, 1, NullOf<TGadget>(), 0))->gadgetClass,
                     R(CreateComboBox(0, 0, 1, 1, NullOf<TGadget>(), 0))->gadgetClass,
                     R(CreateTabber(0, 0, 1, 1, NullOf<TGadget>(), 0))->gadgetClass,
                     R(CreateTreeView(0, 0, 1, 1, NullOf<TGadget>(), 0))->gadgetClass,
                     R(CreateHtmlView(0, 0, 1, 1, NullOf<TGadget>(), 0))->gadgetClass,
                     R(CreateLabel(u"l"_s, 0, 0, 1, 1, NullOf<TGadget>(), 0))->gadgetClass,
                     R(CreateSlider(0, 0, 1, 1, NullOf<TGadget>(), 0))->gadgetClass,
                     R(CreateProgBar(0, 0, 1, 1, NullOf<TGadget>(), 0))->gadgetClass};
    int expected[] = {5, 6, 9, 10, 11, 12, 13, 14};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(classes[i], expected[i]);
}

TEST_F(Gui, StateBitsColoursAndActivateCommands) {
    TRecordingGadget* window = R(CreateWindow(u"w"_s, 0, 0, 9, 9, NullOf<TGadget>(), 0));
    window->state = STATE_MINIMIZED | STATE_SELECTED;
    EXPECT_EQ(WindowMinimized(window), 1);
    EXPECT_EQ(WindowMaximized(window), 0);
    EXPECT_EQ(MenuChecked(window), 1);
    EXPECT_EQ(MenuEnabled(window), 1);
    window->state = STATE_DISABLED | STATE_HIDDEN;
    EXPECT_EQ(MenuEnabled(window), 0);
    EXPECT_EQ(GadgetHidden(window), 1);
    EXPECT_EQ(ButtonState(window), 0);
    SetGadgetColor(window, 1, 2, 3, 1);
    SetGadgetColor(window, 4, 5, 6, 0);
    SetTextAreaColor(window, 7, 8, 9);
    SetGadgetText(window, u"new"_s);
    RedrawGadget(window);
    MaximizeWindow(window);
    HtmlViewBack(window);
    CheckMenu(window);
    DisableMenu(window);
    EXPECT_EQ(window->TakeJournal(), (Journal{"colour 1,2,3", "text colour 4,5,6", "text colour 7,8,9", "text new",
                                              "activate 13", "activate 5", "activate 10", "select 1",
                                              "enable 0"}));
    EXPECT_THROW(GadgetText(NullOf<TGadget>()), ThrownObject);
}

TEST_F(Gui, FontsAndRequestedColours) {
    TGuiFont* font = LoadGuiFont(u"Tahoma"_s, 9, 1, 0, 1);
    EXPECT_TRUE(Equals(FontName(font), u"Tahoma"_s));
    EXPECT_EQ(FontSize(font), 9);
    EXPECT_EQ(FontStyle(font), 5);
    driver->colourToChoose = 0x102030;
    EXPECT_EQ(RequestColor(0, 0, 0), 1);
    driver->colourToChoose = -1;
    EXPECT_EQ(RequestColor(9, 9, 9), 0);  // cancelled: the last choice stays
    EXPECT_EQ(RequestedRed(), 0x10);
    EXPECT_EQ(RequestedGreen(), 0x20);
    EXPECT_EQ(RequestedBlue(), 0x30);
}

TEST(GuiWithoutDriver, PublicFunctionsRaiseARuntimeError) {
    StartGuiModule();
    SetGUIDriver(NullOf<TVantaGUIDriver>());
    EXPECT_THROW(CreateButton(u"b"_s, 0, 0, 1, 1, NullOf<TGadget>(), 0), ThrownObject);
}
