// Start-up probe for startup_bench: builds a window, shows it and ends the
// process as soon as the window has painted once. Run as
//   startup_probe bare     a plain Qt widget of the program's window size
//   startup_probe window   the program's window, set up as its main() does
// Options after the mode leave out parts of the program's start, to see what
// each costs: nofont (no application font), nohelp (no help dialog); stages
// prints the resident size after each stage of the start to standard error.
// The caller measures the time to the end of the process and its peak memory.
#include "errorhandling.h"
#include "tform1.h"
#include "tform2.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
bool g_stages = false;

void stage(const char* name) {
    if (!g_stages)
        return;
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    while (f && std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0)
            std::fprintf(stderr, "%-12s %s", name, line + 6);
    }
    if (f)
        std::fclose(f);
}

// Ends the process at the end of the first paint of the watched window.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            QMetaObject::invokeMethod(
                this,
                [] {
                    stage("painted");
                    _exit(0);
                },
                Qt::QueuedConnection);
        return false;
    }
};

bool has(int argc, char** argv, const char* option) {
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0)
            return true;
    return false;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const bool bare = std::strcmp(argv[1], "bare") == 0;
    g_stages = has(argc, argv, "stages");
    stage("main");
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    FirstPaint watch;
    if (bare) {
        QApplication app(argc, argv);
        stage("application");
        QWidget window;
        window.resize(858, 651);
        stage("window");
        window.installEventFilter(&watch);
        window.show();
        return app.exec();
    }
    rfid::RfidApplication app(argc, argv);
    stage("application");
    if (!has(argc, argv, "nofont")) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Zen Hei")});
        font.setPixelSize(11);
        QApplication::setFont(font);
    }
    TForm1 form;
    stage("window");
    if (!has(argc, argv, "nohelp"))
        form.Form2 = new TForm2(&form);
    stage("help dialog");
    form.installEventFilter(&watch);
    form.show();
    return app.exec();
}
