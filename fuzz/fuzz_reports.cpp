// Every page's report of an arbitrary answer: one button of any page is
// clicked and the simulated reader hands it the fuzzer's bytes as its answer.
//
// Input: byte 0 picks the button among all push buttons of all pages (found
// when the run starts, so pages finished later are covered too), byte 1 holds
// flags (bit 0: wrap the rest into an answer frame whose length byte is right,
// bit 1: the 13.56 MHz reader answers anything not scripted, bits 2-3: how many
// exchanges of the click get the scripted answer, 1 to 4, bit 4: the operator
// typed something first), the rest is the answer, at least one byte so that the
// wait ends at once. With bit 4 the rest starts with the number of an edit
// field of the button's page, a length k and k bytes of UTF-8 text (at most 100)
// that goes into that field for this click only.
#include "check.h"
#include "hex.h"
#include "rfidsim.h"
#include "window.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Not clicked: the serial port buttons (they open a device) and the manual
// send panel (it loads and saves files and sends what is typed there).
const char* const kSkipped[] = {"Button1", "Button2", "Button3", "Button5", "Button6"};
// The most characters typed into a field: even as two-byte characters of a
// Bluetooth name they fit into one frame.
constexpr std::size_t kMaxTyped = 100;
// Buttons that send without waiting or writing to the log.
const char* const kSendOnly[] = {"Button52", "Button53"};

template <std::size_t N> bool named(const QObject* o, const char* const (&names)[N]) {
    return std::any_of(std::begin(names), std::end(names),
                       [o](const char* n) { return o->objectName() == QLatin1String(n); });
}

struct Target {
    QPushButton* button;
    std::vector<QLineEdit*> edits; // the operator's fields on the button's page
};

std::vector<Target>& buttons() {
    static std::vector<Target> list;
    return list;
}

bool hiddenGroup(const TForm1* form, const QWidget* w) {
    return form->GroupBoxSend->isAncestorOf(w) || form->GroupBoxComm->isAncestorOf(w) ||
           form->GroupBoxState->isAncestorOf(w);
}

std::vector<QLineEdit*> editsBeside(const TForm1* form, const QWidget* button) {
    std::vector<QLineEdit*> out;
    for (int i = 0; i < form->PageControl1->count(); ++i) {
        QWidget* page = form->PageControl1->widget(i);
        if (!page->isAncestorOf(button))
            continue;
        for (QLineEdit* e : page->findChildren<QLineEdit*>()) {
            if (!hiddenGroup(form, e))
                out.push_back(e);
        }
    }
    return out;
}

std::vector<unsigned char> answerFrame(const std::uint8_t* body, std::size_t n) {
    const std::size_t len = std::max<std::size_t>(1, std::min<std::size_t>(n, 250));
    std::vector<unsigned char> f{0xAA, 0x00, static_cast<unsigned char>(len)};
    for (std::size_t i = 0; i < len; ++i)
        f.push_back(i < n ? body[i] : 0x00);
    unsigned char x = 0;
    for (std::size_t i = 1; i < f.size(); ++i)
        x ^= f[i];
    f.push_back(x);
    f.push_back(0xBB);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzwin::start();
    TForm1* form = fuzzwin::window().form;
    for (QPushButton* b : form->findChildren<QPushButton*>()) {
        if (named(b, kSkipped) || hiddenGroup(form, b))
            continue;
        buttons().push_back({b, editsBeside(form, b)});
    }
    std::sort(buttons().begin(), buttons().end(), [](const Target& a, const Target& b) {
        return a.button->objectName() < b.button->objectName();
    });
    QStringList names;
    for (const Target& t : buttons())
        names << t.button->objectName();
    std::fprintf(stderr, "fuzz_reports: %d buttons: %s\n", int(buttons().size()),
                 names.join(QLatin1Char(' ')).toLatin1().constData());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || buttons().empty())
        return 0;
    fuzzwin::Window& w = fuzzwin::window();
    fuzzwin::trimLog(64);
    const Target& target = buttons()[data[0] % buttons().size()];
    QPushButton* button = target.button;
    if (!button->isEnabled())
        return 0;

    const std::uint8_t flags = data[1];
    const std::uint8_t* body = data + 2;
    std::size_t bodySize = size - 2;

    w.errors.clear();
    // The operator's text, put back after the click so that every input starts
    // from the window's own defaults.
    QLineEdit* typedInto = nullptr;
    QString typedOver;
    const bool typed = (flags & 16) && bodySize >= 2 && !target.edits.empty();
    if (typed) {
        typedInto = target.edits[body[0] % target.edits.size()];
        const std::size_t k = std::min<std::size_t>({body[1], kMaxTyped, bodySize - 2});
        typedOver = typedInto->text();
        QString text = QString::fromUtf8(reinterpret_cast<const char*>(body + 2), qsizetype(k));
        // An odd number of hex digits is not sent at all, and the wait for an
        // answer that cannot come would last its full time; the framing
        // fuzzer covers that case, so here the last digit goes. For the same
        // reason the text is kept short enough to fit into a frame.
        if (rfid::hexDigits(text).size() % 2 != 0) {
            for (qsizetype i = text.size() - 1; i >= 0; --i) {
                if (rfid::isHexDigit(text[i])) {
                    text.remove(i, 1);
                    break;
                }
            }
        }
        typedInto->setText(text);
        body += 2 + k;
        bodySize -= 2 + k;
    }
    std::vector<unsigned char> answer;
    if (flags & 1)
        answer = answerFrame(body, bodySize);
    else if (bodySize > 0)
        answer.assign(body, body + bodySize);
    else
        answer.push_back(0xAA);

    rfidsim_reset();
    rfidsim_set_family((flags & 2) ? RFIDSIM_HF : RFIDSIM_KEYBOARD);
    const int scripted = 1 + ((flags >> 2) & 3);
    for (int i = 0; i < scripted; ++i)
        rfidsim_script_answer(answer.data(), int(answer.size()));

    const int before = fuzzwin::logSize();
    button->click();

    const bool raised = !w.errors.isEmpty();
    if (typedInto)
        typedInto->setText(typedOver);

    // Only what the operator typed may end a handler with an error (a number
    // that is not one); the reader's answer never does.
    FUZZ_CHECK(typed || !raised, button->objectName() + QStringLiteral(" raised: ") + w.errors.join('|'));
    const QString& r = w.form->lastResponse;
    FUZZ_CHECK(r.size() <= 2 * 245 && isUpperHexBytes(r), QStringLiteral("last response ") + r);
    if (rfidsim_frame_count() > 0 && !named(button, kSendOnly) && !raised)
        FUZZ_CHECK(fuzzwin::logSize() > before, button->objectName() + QStringLiteral(" reported nothing"));
    return 0;
}
