#pragma once

#include <QStringList>

class QTextStream;

namespace brevona {

// The command line of brevona-sim:
//   create [DIR]             make the folder that stands for the keyboard's volume, with its
//                            firmware files (--firmware-version, --firmware-size)
//   render [DIR] OUT.png     draw the keyboard with the displays' current pictures
//   watch [DIR] (--watch)    show the keyboard live in a window
//   press|release|tap KEY    key presses on the simulated keyboard, typed in the X session too
//   reconnect [DIR]          the keyboard installs the image written to it and comes back
// DIR defaults to $BREVONA_SIMULATED_KEYBOARD. Options: --background black|white,
// --resources DIR (the keyboard data set; default: the installed one or $BREVONA_RESOURCE_DIR).
class SimCommandLine
{
public:
    enum ExitCode
    {
        Success = 0,
        Failure = 1,
        UsageError = 2
    };

    // Runs one command given without the program name; "watch" needs a QApplication and runs
    // its event loop until the window closes.
    static int run(const QStringList &arguments, QTextStream &out, QTextStream &err);
    // Whether the arguments ask for the window (so the caller makes a QApplication).
    static bool wantsWindow(const QStringList &arguments);
    // Whether the command draws pictures (so the caller makes a QGuiApplication); key presses
    // need neither and start faster without.
    static bool wantsPictures(const QStringList &arguments);
};

} // namespace brevona
