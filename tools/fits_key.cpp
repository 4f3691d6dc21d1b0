#include "tools/fits_key.h"

#include <string>
#include <string_view>

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
// current list: a document closed since the listing is not found and writes nothing, and of
// two documents with the same name only the first in the host's order is written.
void cmdSet_Click(frmMain& form) {
    form.Find("txtMessage4").SetVisible(false);
    const auto application = form.Host().CreateApplication();
    const auto documents = application->GetDocuments();
    if (WindowClosed(form)) return;
    const int32_t last = form.Find("lstSelectedBin").GetListCount() - 1;
    for (int32_t entry = 0; entry <= last; ++entry) {
        const int16_t count = NarrowToInt16(documents->GetCount());
        if (WindowClosed(form)) return;
        // Prepared once for the scan, which then converts nothing per document.
        const DisplayName name(form.Find("lstSelectedBin").GetListItem(static_cast<int16_t>(entry)));
        for (int32_t position = 1; position <= count; ++position) {
            const auto index = static_cast<int16_t>(position);
            if (!documents->ItemHasDisplayName(index, name)) continue;
            if (WindowClosed(form)) return;
            const int16_t type = form.Find("cmbType").GetListIndex();
            const std::string key = form.Find("txtKey").GetText();
            // Converted for every match, and before the document is fetched: a value that does
            // not convert ends the update before anything is written for this entry.
            const FitsValue value = ValueOfType(form, type, form.Find("txtKeyValue").GetText());
            documents->GetItem(index)->SetFITSKey(key, value);
            break;
        }
    }
    if (WindowClosed(form)) return;
    form.Find("txtMessage4").SetVisible(true);
}

}  // namespace starwright::fits_key
