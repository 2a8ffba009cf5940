// The reference for the start-up and memory figures: the smallest Qt Widgets
// program with a window, one label shown on its own, as Qt makes it by default.
//   vm-bench-label [--lean]            quits after its first paint (start-up)
//   vm-bench-label [--lean] --stay S   stays S seconds, prints its peak resident set
//   vm-bench-label [--lean] --tick     runs until killed with an idle 10 ms timer:
//                                      the cost of a 10 ms tick alone
// --lean makes the program's own platform choices (platformdefaults.h), to
// show what the program adds on top of them.
#include "benchapp.h"
#include "platformdefaults.h"

#include <QLabel>

#include <cstring>

int main(int argc, char *argv[])
{
    const bool lean = argc >= 2 && std::strcmp(argv[1], "--lean") == 0;
    if (lean)
        applyPlatformDefaults();
    const int at = lean ? 2 : 1;
    const char *mode = argc > at ? argv[at] : "";
    const char *name = lean ? "label_lean" : "label";
    bench::BenchApp app(argc, argv);
    QLabel label("Vontra Meters");
    label.setWindowTitle("vm-bench-label");
    QTimer tick;
    if (std::strcmp(mode, "--tick") == 0) {
        QObject::connect(&tick, &QTimer::timeout, [] {});
        tick.start(10);
    } else if (std::strcmp(mode, "--stay") == 0 && argc > at + 1) {
        const int ms = int(std::atof(argv[at + 1]) * 1000);
        QTimer::singleShot(ms, &app, [&app, name] {
            std::printf("sample rss_%s_kb %ld\n", name, bench::peakRssKb());
            std::fflush(stdout);
            app.quit();
        });
    } else {
        bench::reportFirstPaint(app, label, name);
    }
    label.show();
    return app.exec();
}
