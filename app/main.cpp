// velmora: the main program.
#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "platform/qt/guarded_application.h"
#include "assets/picture_lists.h"
#include "settings/settings_location.h"

namespace {

int run(int argc, char** argv);

std::vector<std::string> argumentsOf(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velmora;

    // Answered before Qt starts, so they work without a display.
    const std::vector<std::string> early = argumentsOf(argc, argv);
    bool qtStyleOptions = false;  // "-platform offscreen" and the like
    for (const std::string& a : early) qtStyleOptions |= a.size() > 1 && a[0] == '-' && a[1] != '-';
    if (!qtStyleOptions) {
        const CommandLine cl = parseCommandLine(early);
        if (!cl.error.empty()) {
            std::fprintf(stderr, "velmora: %s\n\n%s", cl.error.c_str(), usageText().c_str());
            return 2;
        }
    }
    if (asksForHelpOrVersion(early)) {
        const CommandLine cl = parseCommandLine(early);
        if (cl.error.empty() && cl.help) {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        }
        if (cl.error.empty() && cl.version) {
            std::printf("%s\n", kProgramVersionText);
            return 0;
        }
    }

    GuardedApplication qapp(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("Velmora Management"));
    QApplication::setWindowIcon(applicationIcon());
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        // An error that escapes start-up is shown, and the program ends.
        GuardedApplication::showError(e.what());
    } catch (...) {
        GuardedApplication::showError("unknown exception");
    }
    return 1;
}

namespace {

int run(int argc, char** argv) {
    using namespace velmora;

    const CommandLine cl = parseCommandLine(argumentsOf(argc, argv));
    if (!cl.error.empty()) {
        std::fprintf(stderr, "velmora: %s\n\n%s", cl.error.c_str(), usageText().c_str());
        return 2;
    }
    if (cl.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (cl.version) {
        std::printf("%s\n", kProgramVersionText);
        return 0;
    }

    ApplicationOptions options;
    options.extraPorts = cl.ports;
    options.simulate = cl.simulate;
    options.simulatedBanks = cl.simulatedBanks;
    // Through UTF-16 so that a folder name outside the ANSI code page
    // survives on Windows.
    const std::filesystem::path exeDir(QCoreApplication::applicationDirPath().toStdU16String());
    options.settingsPath = settingsFilePath(exeDir,
                                            userConfigDirFromEnvironment(), isFolderWritable);

    Application application(options);
    application.dispatcher().setExceptionHandler(
        [](const std::string& what) { GuardedApplication::showError(what); });
    std::string error;
    if (!application.start(&error)) {
        std::fprintf(stderr, "velmora: cannot start the simulated unit: %s\n", error.c_str());
        return 1;
    }
    const int result = QApplication::exec();
    // Dispatcher, then link and reader, then (when `application` goes) the
    // windows.
    application.shutdown();
    return result;
}

}  // namespace
