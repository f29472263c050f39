#include "core/library_names.h"

#include <algorithm>

namespace zfe::core {

namespace {

// ASCII letters are the ones dat names use.
char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

std::optional<std::string> libraryFileNamed(const std::string& name,
                                            const std::vector<std::string>& libraryNames) {
    if (std::find(libraryNames.begin(), libraryNames.end(), name) != libraryNames.end()) {
        return name;
    }
    // Of several spellings (possible only on a case-sensitive file system),
    // the same one every time.
    std::optional<std::string> match;
    for (const std::string& libraryName : libraryNames) {
        if (sameNameIgnoringCase(libraryName, name) && (!match || libraryName < *match)) {
            match = libraryName;
        }
    }
    return match;
}

Message replaceQuestion(const std::string& name) {
    Message question;
    question.text = "Il file " + name + " esiste già. Sostituirlo?";
    question.icon = MessageIcon::Question;
    question.buttons = MessageButtons::YesNo;
    question.defaultButton = MessageAnswer::No;
    return question;
}

}  // namespace zfe::core
