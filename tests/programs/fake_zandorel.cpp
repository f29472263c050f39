// Stand-in for the diff tool in the diff request's tests. It is copied into a
// test's zdrl/ under the tool's name and started by the request.
//
// ZFE_FAKE_DIFF_RECORD  a file (outside zdrl/) that receives, one per line,
//                       "cwd=<current directory>", "found=<name>" for each of
//                       zandorel.dat and zandorel.log already present at the
//                       start, and "arg=<argument>" for each argument. The
//                       diff dat written is also copied to <record>.dat so
//                       that a test can compare the delivered file with it.
// ZFE_FAKE_DIFF_MODE    "" writes zandorel.dat and zandorel.log, exit 0;
//                       "no-dat": only a 30-line zandorel.log, exit 1;
//                       "no-log": only zandorel.dat, exit 0;
//                       "nothing": no file at all, exit 1;
//                       "both-exit-2": both files, exit 2 (trouble);
//                       "nothing-differs": only a zandorel.log of the tool's
//                       form that finds no difference, exit 0.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "<missing " + path + ">";
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = environment("ZFE_FAKE_DIFF_MODE");
    const std::string recordPath = environment("ZFE_FAKE_DIFF_RECORD");

    std::string record = "cwd=" + std::filesystem::current_path().string() + "\n";
    for (const char* output : {"zandorel.dat", "zandorel.log"}) {
        if (std::filesystem::exists(output)) {
            record += std::string("found=") + output + "\n";
        }
    }
    for (int i = 1; i < argc; ++i) {
        record += std::string("arg=") + argv[i] + "\n";
    }
    if (!recordPath.empty()) {
        write(recordPath, record);
    }

    const bool normal = mode.empty() || mode == "normal";
    const bool writeDat = normal || mode == "no-log" || mode == "both-exit-2";
    const bool writeLog = normal || mode == "no-dat" || mode == "both-exit-2";

    if (writeDat) {
        // Arguments, both staged inputs and every byte value, so that a
        // delivery that is not byte for byte shows.
        std::string diff = "fake diff dat\r\n" + record;
        if (argc >= 3) {
            diff += contentOf(argv[argc - 2]) + contentOf(argv[argc - 1]);
        }
        for (int byte = 0; byte < 256; ++byte) {
            diff += static_cast<char>(byte);
        }
        write("zandorel.dat", diff);
        if (!recordPath.empty()) {
            write(recordPath + ".dat", diff);
        }
    }
    if (writeLog) {
        std::string log;
        const int lines = mode == "no-dat" ? 30 : 3;
        for (int line = 1; line <= lines; ++line) {
            log += "log line " + std::to_string(line) + "\n";
        }
        if (normal) {
            log += "Summary: 1 added, 2 removed, 0 renamed, 3 changed, 4 unchanged\n";
        }
        write("zandorel.log", log);
    }

    if (mode == "nothing-differs") {
        write("zandorel.log",
              "zandorel 1.0.0\n\nAdded (0)\n\nRemoved (0)\n\nRenamed (0)\n\nChanged (0)\n\n"
              "Summary: 0 added, 0 removed, 0 renamed, 0 changed, 7 unchanged; no diff dat written\n");
        return 0;
    }
    if (mode == "both-exit-2") {
        return 2;
    }
    return writeDat ? 0 : 1;
}
