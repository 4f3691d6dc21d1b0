#include "tools/fits_key.h"

#include <string>
#include <string_view>
#include <vector>

#include "window/frm_main.h"

namespace starwright::fits_key {

namespace {

// The host is another process: while a call to it waits, COM lets window messages through, so
// the window may have been closed by the time a call returns, and its controls are gone.
bool WindowClosed(frmMain& form) { return !form.IsLoaded(); }

// A double-click that selects nothing (on an empty list, or below the last entry) moves nothing.
void MoveSelected(frmMain& form, std::string_view from, std::string_view to) {
    Control& source = form.Find(from);
    const int16_t position = source.GetListIndex();
    if (position < 0) return;
    form.Find(to).AddItem(source.GetText());
    source.RemoveItem(position);
}

// cmbType: 0 "Decimal", 1 "Integer", 2 "Text"; with nothing chosen the text goes as it is.
FitsValue ValueOfType(frmMain& form, int16_t type, const std::string& text) {
    NumberText& numbers = form.Services().numberText;
    switch (type) {
    case 0: return numbers.ParseDouble(text);
    case 1: return numbers.ParseInt32(text);
    default: return text;
    }
}

constexpr char kNothingPicked[] =
    "No image is picked: move the images to update into the list on the right (double-click a name, or All >>).";

}  // namespace

void lstImagesBin_DblClick(frmMain& form) { MoveSelected(form, "lstImagesBin", "lstSelectedBin"); }

void lstSelectedBin_DblClick(frmMain& form) { MoveSelected(form, "lstSelectedBin", "lstImagesBin"); }

void cmdBinMove_Click(frmMain& form, int16_t index) {
    std::string_view from;
    std::string_view to;
    if (index == 0) {
        from = "lstImagesBin";
        to = "lstSelectedBin";
    } else if (index == 3) {
        from = "lstSelectedBin";
        to = "lstImagesBin";
    } else {
        return;
    }
    Control& source = form.Find(from);
    Control& target = form.Find(to);
    // Both lists are drawn once at the end rather than after every entry.
    const ListDrawnOnce sourceDrawnOnce(form.Window(), source);
    const ListDrawnOnce targetDrawnOnce(form.Window(), target);
    target.AddItemsOf(source, source.GetListCount());
    source.Clear();
}

// Entries name documents by display name only, so each entry is looked up afresh in the host's
// current list, and the k-th entry of a name stands for the k-th open document of that name:
// two images of one name, both picked, are written once each. An entry that no open document
// answers to any more (closed since the listing) is named to the user, and the update is then
// not reported as done.
// The picked names, the key, its type and its value are taken as they stand at the click: the
// host lets the user act inside its calls, and an image moved back or a key retyped then must
// neither skip a picked image nor write another key into the rest.
void cmdSet_Click(frmMain& form) {
    form.Find("txtMessage4").SetVisible(false);
    // Each name is prepared once for its scan, which then converts nothing per document.
    Control& picked = form.Find("lstSelectedBin");
    std::vector<DisplayName> names;
    for (int16_t entry = 0; entry < picked.GetListCount(); ++entry) names.emplace_back(picked.GetListItem(entry));
    const int16_t type = form.Find("cmbType").GetListIndex();
    const std::string key = form.Find("txtKey").GetText();
    const std::string valueText = form.Find("txtKeyValue").GetText();

    const auto application = form.Host().CreateApplication();
    if (WindowClosed(form)) return;
    const auto documents = application->GetDocuments();
    if (WindowClosed(form)) return;
    if (names.empty()) return form.Window().ShowMessage(kNothingPicked);
    // The entries that wrote nothing, a screenful of them at most.
    std::string notOpen;
    size_t notWritten = 0;
    bool converted = false;
    for (size_t entry = 0; entry < names.size(); ++entry) {
        const DisplayName& name = names[entry];
        // Which document of this name the entry stands for: one more than the entries before it
        // that bear the same name.
        size_t wanted = 1;
        for (size_t before = 0; before < entry; ++before) wanted += names[before].Utf8() == name.Utf8();
        const int16_t count = NarrowToInt16(documents->GetCount());
        if (WindowClosed(form)) return;
        bool written = false;
        for (int32_t position = 1; position <= count && !written; ++position) {
            const auto index = static_cast<int16_t>(position);
            const bool named = documents->ItemHasDisplayName(index, name);
            if (WindowClosed(form)) return;
            if (!named || --wanted > 0) continue;
            // Converted for every match, and before the document is fetched: a value that does
            // not convert ends the update before anything is written for this entry.
            const FitsValue value = ValueOfType(form, type, valueText);
            converted = true;
            const auto document = documents->GetItem(index);
            if (WindowClosed(form)) return;
            document->SetFITSKey(key, value);
            if (WindowClosed(form)) return;
            written = true;
        }
        if (!written && ++notWritten <= 20) notOpen += "\n" + name.Utf8();
    }
    // A value that does not convert is the user's to correct, also when no picked image is open.
    if (!converted) ValueOfType(form, type, valueText);
    if (notWritten > 0) {
        std::string text =
            notWritten == 1 ? "The keyword was not written into this picked image, which is not open any more:"
                            : "The keyword was not written into these picked images, which are not open any more:";
        text += notOpen;
        if (notWritten > 20) text += "\n...";
        if (notWritten < names.size()) text += "\n\nThe other picked images were written.";
        return form.Window().ShowMessage(text);
    }
    form.Find("txtMessage4").SetVisible(true);
}

}  // namespace starwright::fits_key
