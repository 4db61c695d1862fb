// velmora: the main program.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/stop_signals.h"
#include "platform/qt/guarded_application.h"
#include "assets/picture_lists.h"
#include "platform/traced_serial.h"
#include "service/outlet_names.h"
#include "settings/settings_location.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

int run(int argc, char** argv);

#ifdef _WIN32
// A window program has no console of its own. Started from one (cmd,
// PowerShell), it answers --help and --version and reports errors there,
// and that console's Ctrl+C and close reach it; output already redirected
// to a file or pipe stays where it goes.
void useParentConsole() {
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!std::freopen("CONOUT$", "w", stdout) || !std::freopen("CONOUT$", "w", stderr)) return;
}
#endif

std::vector<std::string> argumentsOf(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

// The program's folder before Qt runs: the running executable where the
// system says it (Linux), else the folder of argv[0].
std::filesystem::path programFolder(const char* argv0) {
    std::error_code ec;
#ifdef _WIN32
    wchar_t module[32768];
    const DWORD length = GetModuleFileNameW(nullptr, module, static_cast<DWORD>(std::size(module)));
    if (length > 0 && length < std::size(module)) return std::filesystem::path(module).parent_path();
#endif
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) return self.parent_path();
    return std::filesystem::absolute(std::filesystem::path(argv0 ? argv0 : ""), ec).parent_path();
}

// --help ends with the settings file this run uses: beside the program, or
// the user's own when the program's folder cannot be written (installed).
void printHelp(const char* argv0) {
    using namespace velmora;
    std::fputs(usageText().c_str(), stdout);
    const std::filesystem::path settings = programSettingsPath(programFolder(argv0), userConfigDirFromEnvironment());
    std::printf("\nSettings file: %s\n", settings.string().c_str());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velmora;

#ifdef _WIN32
    useParentConsole();
#endif
    // Answered before Qt starts, so they work without a display.
    const std::vector<std::string> early = argumentsOf(argc, argv);
    bool qtStyleOptions = false;  // "-platform offscreen" and the like
    for (const std::string& a : early) qtStyleOptions |= a.size() > 1 && a[0] == '-' && a[1] != '-';
    if (!qtStyleOptions) {
        std::vector<std::string> ours = early;
        const TraceOption trace = takeTraceOption(ours);
        if (!trace.error.empty()) {
            std::fprintf(stderr, "velmora: %s\n\n%s", trace.error.c_str(), usageText().c_str());
            return 2;
        }
        const CommandLine cl = parseCommandLine(ours);
        if (!cl.error.empty()) {
            std::fprintf(stderr, "velmora: %s\n\n%s", cl.error.c_str(), usageText().c_str());
            return 2;
        }
    }
    if (asksForHelpOrVersion(early)) {
        const CommandLine cl = parseCommandLine(early);
        if (cl.error.empty() && cl.help) {
            printHelp(argc > 0 ? argv[0] : nullptr);
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

    std::vector<std::string> args = argumentsOf(argc, argv);
    const TraceOption traceOption = takeTraceOption(args);
    if (!traceOption.error.empty()) {
        std::fprintf(stderr, "velmora: %s\n\n%s", traceOption.error.c_str(), usageText().c_str());
        return 2;
    }
    const CommandLine cl = parseCommandLine(args);
    if (!cl.error.empty()) {
        std::fprintf(stderr, "velmora: %s\n\n%s", cl.error.c_str(), usageText().c_str());
        return 2;
    }
    if (cl.help) {
        printHelp(argc > 0 ? argv[0] : nullptr);
        return 0;
    }
    if (cl.version) {
        std::printf("%s\n", kProgramVersionText);
        return 0;
    }

    ApplicationOptions options;
    if (!traceOption.file.empty()) {
        std::string why;
        options.trace = TraceWriter::open(traceOption.file, &why);
        if (!options.trace) {
            std::fprintf(stderr, "velmora: cannot write the trace %s: %s\n", traceOption.file.c_str(), why.c_str());
            return 2;
        }
    }
    options.extraPorts = cl.ports;
    options.simulate = cl.simulate;
    options.simulatedBanks = cl.simulatedBanks;
    // Through UTF-16 so that a folder name outside the ANSI code page
    // survives on Windows.
    const std::filesystem::path exeDir(QCoreApplication::applicationDirPath().toStdU16String());
    options.settingsPath = programSettingsPath(exeDir, userConfigDirFromEnvironment());
    options.namesPath = namesFilePath(processEnvironment());

    // SIGTERM and the like leave the event loop (also a modal one during
    // start-up) like closing the window does.
    const std::unique_ptr<StopSignalsQuit> stopSignals = quitOnStopSignals();
    Application application(options);
    application.dispatcher().setExceptionHandler(
        [](const std::string& what) { GuardedApplication::showError(what); });
    std::string error;
    if (!application.start(&error)) {
        std::fprintf(stderr, "velmora: cannot start the simulated unit: %s\n", error.c_str());
        return 1;
    }
    // The session's end (WM_ENDSESSION on Windows) may end the process as
    // soon as aboutToQuit has been emitted, without exec() returning: the
    // shutdown runs there too. While an upgrade holds the port the session
    // is asked not to end, as the window takes no close request then.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&application] { application.shutdown(); });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, [&application](QSessionManager& session) {
        if (application.upgradeUnderWay()) session.cancel();
    });
    const bool stopped = stopSignals && stopSignals->signalNumber() != 0;  // during start-up
    const int result = stopped ? 0 : QApplication::exec();
    // Dispatcher, then link and reader, then (when `application` goes) the
    // windows.
    application.shutdown();
    if (stopSignals) stopSignals->finished();
    if (stopSignals && stopSignals->signalNumber() != 0) return 128 + stopSignals->signalNumber();
    return result;
}

}  // namespace
