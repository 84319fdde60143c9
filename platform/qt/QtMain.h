// The Linux entry point, declared without any toolkit header so that
// app/main_qt.cpp stays free of Qt and X11.
#pragma once

namespace zb {

// Checks the X display, sets up the toolkit and the locale, and runs the
// notification. Returns the process's exit status: 1 when no display can be
// opened (one line on stderr, nothing else touched).
int RunQtApp(int argc, char** argv);

}  // namespace zb
