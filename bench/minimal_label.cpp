// The reference for the start-up and memory figures: the smallest Qt Widgets
// program with a window, one label shown on its own.
//   vm-bench-label            quits after its first paint (start-up)
//   vm-bench-label --stay S   stays S seconds, prints its peak resident set
//   vm-bench-label --tick     runs until killed with an idle 10 ms timer: the
//                             cost of a 10 ms tick alone, for the CPU figures
#include "benchapp.h"
#include "eventloop.h"

#include <QLabel>

#include <cstring>

int main(int argc, char *argv[])
{
    preferLeanEventLoop(); // the program's event loop, for a fair reference
    bench::BenchApp app(argc, argv);
    QLabel label("Vontra Meters");
    label.setWindowTitle("vm-bench-label");
    QTimer tick;
    if (argc == 2 && std::strcmp(argv[1], "--tick") == 0) {
        QObject::connect(&tick, &QTimer::timeout, [] {});
        tick.start(10);
    } else if (argc == 3 && std::strcmp(argv[1], "--stay") == 0) {
        QTimer::singleShot(int(std::atof(argv[2]) * 1000), &app, [&app] {
            std::printf("sample rss_label_kb %ld\n", bench::peakRssKb());
            std::fflush(stdout);
            app.quit();
        });
    } else {
        bench::reportFirstPaint(app, label, "label");
    }
    label.show();
    return app.exec();
}
