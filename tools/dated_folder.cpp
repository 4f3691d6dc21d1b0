#include "tools/dated_folder.h"

#include <string>

#include "base/failure.h"
#include "tools/date_text.h"
#include "tools/folder_names.h"
#include "window/frm_main.h"

namespace starwright::dated_folder {
namespace {

// Folders are tested and made strictly one level at a time, so that a typing mistake in the
// home path fails loudly instead of growing a whole tree of wrong folders. A folder that another
// program (a second host, a synchronising client) makes between the test and the making is as
// good as one made here.
void MakeIfMissing(FileSystem& files, const std::string& path) {
    if (files.Exists(path)) return;
    try {
        files.MakeDirectory(path);
    } catch (const Failure& failure) {
        if (failure.Number() != kNameTaken || !files.Exists(path + "\\")) throw;
    }
}

}  // namespace

void cmdCreate_Click(frmMain& form) {
    try {
        const Platform& services = form.Services();
        // Read once: the user may retype the name while the camera links, and the auto-save name
        // must stay in the folder made for it.
        const std::string object = form.Find("txtObject").GetText();
        std::string path = form.Find("txtPath").GetText();
        const std::string date = FormatYyyymmdd(HalfDayEarlier(services.clock.Now()));
        // Before any folder is made and before the camera is touched.
        CheckHomePath(path);
        CheckImageName(object);
        CheckAutoSaveName(path + date + "\\" + object + "\\" + object, services.fileSystem.LongPathsEnabled());
        MakeIfMissing(services.fileSystem, path);
        path += date;
        MakeIfMissing(services.fileSystem, path);
        path += "\\" + object + "\\";
        MakeIfMissing(services.fileSystem, path);
        // A folder that exists is not yet one the camera can save into (a read-only share, a
        // folder of another user's).
        services.fileSystem.CheckCanCreateFiles(path);

        // A call to the host may pump window messages, so a cool-down tick or a close can end
        // the window under this handler; from then on its controls are gone and nothing is left
        // to report to.
        HostCamera& camera = form.Camera();
        camera.PutPreLinkFlag(true);
        if (!camera.GetConnected()) camera.PutConnected(true);
        if (!form.IsLoaded()) return;
        camera.PutAutoSaveName(path + object);
        camera.PutAutoSaveStart(1);
        if (!form.IsLoaded()) return;

        form.Window().ShowMessage(path + " Path Created");
        if (form.IsLoaded()) form.Close();
    } catch (...) {
        std::string description = DescribeCurrentException();
        try {
            if (form.IsLoaded()) form.Window().ShowMessage(description);
        } catch (...) {
            // The message box itself failed; the host must not see it.
        }
    }
}

}  // namespace starwright::dated_folder
