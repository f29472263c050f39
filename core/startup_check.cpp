#include "core/startup_check.h"

#include <algorithm>
#include <vector>

#include "core/folders.h"

namespace zfe::core {

namespace {

struct ExpectedFolder {
    std::string path;
    const char* role;
    const char* withoutIt;
};

}  // namespace

std::optional<Message> missingFoldersWarning(
    const std::string& programPath, const std::string& dataPath,
    const std::function<bool(const std::string&)>& folderExists) {
    static const char* const kWithoutLibrary = "Le liste dei dat restano vuote.";
    static const char* const kWithoutTool =
        "Senza il programma di confronto non si può creare un DiffDat.";
    const bool besideProgram = dataPath == programPath;
    std::vector<ExpectedFolder> expected{
        {datFolder(dataPath), "libreria dei dat", kWithoutLibrary},
        {toolFolder(programPath), "programma di confronto", kWithoutTool},
    };
    if (!besideProgram) {
        expected.push_back(
            {workFolder(dataPath), "cartella di lavoro del programma di confronto", kWithoutTool});
    }

    std::string list;
    std::size_t missing = 0;
    std::vector<const char*> consequences;
    for (const ExpectedFolder& folder : expected) {
        if (folderExists(folder.path)) {
            continue;
        }
        ++missing;
        list += "\r\n" + folder.path + "  (" + folder.role + ")";
        if (std::find(consequences.begin(), consequences.end(), folder.withoutIt) ==
            consequences.end()) {
            consequences.push_back(folder.withoutIt);
        }
    }
    if (missing == 0) {
        return std::nullopt;
    }

    static const char* const kCounts[] = {"", "Manca una cartella", "Mancano due cartelle",
                                          "Mancano tre cartelle"};
    std::string text = kCounts[missing];
    text += besideProgram ? " accanto al programma:" : ":";
    text += list + "\r\n\r\n";
    if (besideProgram) {
        text += missing == 1 ? "La cartella non viene creata. " : "Le cartelle non vengono create. ";
    }
    for (const char* consequence : consequences) {
        text += consequence;
        text += ' ';
    }
    text.pop_back();
    return warningMessage(std::move(text));
}

}  // namespace zfe::core
