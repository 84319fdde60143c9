#include "platform/qt/QtMain.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>

#include "app/App.h"
#include "platform/qt/PosixOps.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/X11.h"

namespace zb {
namespace {

// Sets environment variables for the toolkit's start only and puts the old
// values back afterwards, so that a program the notification starts later
// inherits the user's own environment.
class ScopedEnvironment {
public:
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }
    void Set(const char* name, const char* value) {
        Save(name);
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }

private:
    void Save(const char* name) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace

int RunQtApp(int argc, char** argv) {
    // Taken before the toolkit sees the arguments; Qt gets none of them, so a
    // word like "-style" on our command line stays ours.
    const std::string commandLine = qt::JoinArguments(argc, argv);

    // Qt aborts when it cannot open the display; say so plainly instead,
    // before anything (the lock file) has been touched.
    if (!qt::x11::DisplayAvailable()) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "zettelblick: cannot open the X display \"%s\" (is DISPLAY set?)\n",
                     display ? display : "");
        return 1;
    }

    std::setlocale(LC_ALL, "");

    char program[] = "zettelblick";
    char platformOption[] = "-platform";
    char platformName[] = "xcb";
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : program, platformOption, platformName,
                      nullptr};
    int qtArgc = 3;

    std::optional<QApplication> application;
    {
        // Positions and sizes are device pixels computed from the screen's
        // real DPI, so Qt must not scale them a second time.
        ScopedEnvironment environment;
        environment.Set("QT_ENABLE_HIGHDPI_SCALING", "0");
        environment.Set("QT_SCALE_FACTOR", nullptr);
        environment.Set("QT_SCREEN_SCALE_FACTORS", nullptr);
        environment.Set("QT_AUTO_SCREEN_SCALE_FACTOR", nullptr);
        application.emplace(qtArgc, qtArgv);
    }
    // Qt sets the whole locale from the environment too; numbers stay in the
    // C format so that settings read and write the same everywhere.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setQuitOnLastWindowClosed(false);

    int status;
    {
        qt::QtPlatform platform(commandLine);
        App app(platform);
        status = app.Run();
    }
    return status;
}

}  // namespace zb
