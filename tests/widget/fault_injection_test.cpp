// A long run of mixed operations on the visible pages against a simulated
// reader that keeps misbehaving: now silent, now refusing, now answering with a
// damaged status, a cut-off frame or a frame whose length byte claims more than
// it holds. Every click must end in exactly one of the four reports of its
// button (success, failure with the reason line, no data, damaged answer),
// nothing may be raised, and the window must still work afterwards.
#include "harness.h"
#include "status.h"
#include "usblink.h"

#include <QTabWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <random>

namespace {

// Reader mode, language settings, output format.
const int kVisibleTabs[] = {0, 1, 7};

enum class Outcome { Success, Failure, NoData, Damaged };

const char* outcomeName(Outcome o) {
    switch (o) {
    case Outcome::Success:
        return "success";
    case Outcome::Failure:
        return "failure";
    case Outcome::NoData:
        return "no data";
    case Outcome::Damaged:
        return "damaged";
    }
    return "?";
}

// The report texts of one visible button, with "T" for the time stamp.
struct ButtonTexts {
    QString noData;
    QString failure; // the first line of a failure report, before the reason line
    QString damaged;
    std::function<bool(const QStringList&)> success;
};

// What the simulated reader is told to do for one exchange.
struct Fault {
    int kind = RFIDSIM_OK;
    int arg = 0;
    QString describe() const { return QStringLiteral("fault %1 arg %2").arg(kind).arg(arg); }
};

class FaultInjection : public WindowTest {
protected:
    // The report name of the selected radio button of a mode group.
    QString modeName(std::initializer_list<std::pair<const char*, const char*>> choices) const {
        for (const auto& [radio, name] : choices) {
            if (find<QRadioButton>(radio)->isChecked())
                return QString::fromUtf8(name);
        }
        return {};
    }
    QString readerMode() const {
        return modeName({{"RadioButton32", "Key trigger mode "},
                         {"RadioButton54", "Active read single "},
                         {"RadioButton55", "Active read continuity "}});
    }
    QString bluetoothMode() const {
        return modeName(
            {{"RadioButton56", "HID mode "}, {"RadioButton57", "SPP mode "}, {"RadioButton58", "BLE mode "}});
    }

    // The texts of every push button on the visible pages, as the operator reads them.
    ButtonTexts texts(const QString& button) const {
        const QString noDataPlain = QStringLiteral("Data error,no data recevice..   T");
        const QString noDataWide = QStringLiteral("Data error，no data recevice..   T");
        const QString damaged = QStringLiteral("data error,please check data..   T");
        auto lines = [](QStringList expected) {
            return [expected](const QStringList& got) { return got == expected; };
        };
        auto simple = [&](const char* success, const char* failure) {
            return ButtonTexts{noDataPlain, QString::fromUtf8(failure) + QStringLiteral("T"), damaged,
                               lines({QString::fromUtf8(success) + QStringLiteral("T"), QString()})};
        };
        if (button == QLatin1String("Button69") || button == QLatin1String("Button35")) {
            const QString name = button == QLatin1String("Button69") ? readerMode() : bluetoothMode();
            return {QStringLiteral("error,no data  receive..   T"),
                    QStringLiteral("Set ") + name + QStringLiteral("False   T"),
                    QStringLiteral("check sum error.....   T"),
                    lines({QStringLiteral("Set  ") + name + QStringLiteral(" Success    T")})};
        }
        static const std::map<QString, std::pair<const char*, const char*>> simpleButtons = {
            {QStringLiteral("Button41"),
             {"Set Bluetooth name successfully     ", "Set Bluetooth name false     "}},
            {QStringLiteral("Button30"), {"Set sleep time  success     ", "Set sleep time false     "}},
            {QStringLiteral("Button57"),
             {"Restore factory settings Success    ", "Restore factory settings False    "}},
            {QStringLiteral("Button50"), {"Turn on the buzzer Success    ", "Turn on the buzzer False    "}},
            {QStringLiteral("Button51"),
             {"Turn off the buzzer Success    ", "Turn off the buzzer False    "}},
            {QStringLiteral("Button43"), {"Clear data Success    ", "Clear data False    "}},
        };
        if (auto it = simpleButtons.find(button); it != simpleButtons.end())
            return simple(it->second.first, it->second.second);
        if (button == QLatin1String("Button63"))
            return {noDataPlain, QStringLiteral("read version number false    T"), damaged,
                    [](const QStringList& got) {
                        return got.size() == 3 &&
                               got[0] == QLatin1String("read version number success    ") &&
                               got[1].startsWith(QStringLiteral("the version number is：")) &&
                               got[2].isEmpty();
                    }};
        if (button == QLatin1String("Button27") || button == QLatin1String("Button24"))
            return {noDataWide, QStringLiteral("Set up format false   T"), damaged,
                    lines({QStringLiteral("Set Up Success   T"), QString()})};
        if (button == QLatin1String("Button28"))
            return {noDataWide, QStringLiteral("Set up format false   T"), damaged,
                    [](const QStringList& got) {
                        return got.size() == 1 &&
                               got[0].startsWith(QStringLiteral("The output language is : ")) &&
                               got[0].endsWith(QStringLiteral(" .  T"));
                    }};
        if (button == QLatin1String("Button25"))
            return {noDataWide, QStringLiteral("Read format false   T"), damaged, [](const QStringList& got) {
                        return got.size() >= 9 && got[0] == QLatin1String("Read data success    T") &&
                               got[1].startsWith(QStringLiteral("The Output format ： ")) &&
                               got.last().isEmpty();
                    }};
        ADD_FAILURE() << "no texts for " << button.toStdString();
        return {};
    }

    // The report the lines `got` are, for `button`; fails the test when they are none of the four.
    Outcome classify(const QString& button, const QStringList& got, const QString& context) const {
        const ButtonTexts t = texts(button);
        if (got == QStringList{t.noData, QString()})
            return Outcome::NoData;
        if (got == QStringList{t.damaged, QString()})
            return Outcome::Damaged;
        if (got.size() == 3 && got[0] == t.failure && got[2].isEmpty())
            return Outcome::Failure;
        if (t.success && t.success(got))
            return Outcome::Success;
        ADD_FAILURE() << context.toStdString() << ": " << button.toStdString()
                      << " wrote no report of its own:\n"
                      << got.join(QLatin1Char('\n')).toStdString();
        return Outcome::Damaged;
    }

    Fault randomFault(std::mt19937& rng) const {
        const unsigned roll = rng() % 100;
        if (roll < 25)
            return {};
        if (roll < 29) // a silent reader makes the wait last its full time: keep it rare
            return {RFIDSIM_SILENT, 0};
        if (roll < 31)
            return {RFIDSIM_WRITE_FAIL, 0};
        if (roll < 49)
            return {RFIDSIM_REFUSE, int(rng() % 256)};
        if (roll < 66)
            return {RFIDSIM_DAMAGED, 2 + int(rng() % 254)};
        if (roll < 83)
            return {RFIDSIM_SHORT, int(rng() % 12)};
        return {RFIDSIM_OVERLONG, 0};
    }

    // The reports a fault allows. A reader that answers with its status byte
    // intact may accept or refuse; without a status byte the answer is damaged.
    // A settings read-back cut before the fields its report shows is damaged too
    // (the output format page's shows bytes up to 20, the language page's byte 4).
    static std::vector<Outcome> allowed(const Fault& f, const QString& button) {
        if (f.kind == RFIDSIM_SHORT && f.arg >= 4 &&
            (button == QLatin1String("Button25") || (button == QLatin1String("Button28") && f.arg <= 4)))
            return {Outcome::Failure, Outcome::Damaged};
        switch (f.kind) {
        case RFIDSIM_SILENT:
        case RFIDSIM_WRITE_FAIL:
            return {Outcome::NoData};
        case RFIDSIM_REFUSE:
            return {Outcome::Failure};
        case RFIDSIM_DAMAGED:
            return {Outcome::Damaged};
        case RFIDSIM_SHORT:
            if (f.arg == 0)
                return {Outcome::NoData};
            if (f.arg < 4)
                return {Outcome::Damaged};
            break;
        default:
            break;
        }
        return {Outcome::Success, Outcome::Failure};
    }

    // Push buttons, radio buttons, check boxes and lists that the operator can reach on the visible pages.
    template <typename T> std::vector<T*> visible() const {
        std::vector<T*> out;
        for (int tab : kVisibleTabs) {
            QWidget* page = form->PageControl1->widget(tab);
            for (T* w : page->findChildren<T*>()) {
                if (w->isVisibleTo(page) && w->isEnabled())
                    out.push_back(w);
            }
        }
        return out;
    }
};

TEST_F(FaultInjection, EveryClickEndsInOneOfItsFourReports) {
    const std::vector<QPushButton*> buttons = visible<QPushButton>();
    const std::vector<QRadioButton*> radios = visible<QRadioButton>();
    const std::vector<QCheckBox*> boxes = visible<QCheckBox>();
    const std::vector<QComboBox*> lists = visible<QComboBox>();
    ASSERT_EQ(buttons.size(), 13u);
    ASSERT_FALSE(radios.empty());

    std::mt19937 rng(20240611);
    std::map<Outcome, int> seen;
    int clicks = 0;
    for (int op = 0; op < 400; ++op) {
        const unsigned what = rng() % 10;
        if (what < 7) {
            QPushButton* button = buttons[rng() % buttons.size()];
            const Fault fault = randomFault(rng);
            rfidsim_set_fault(fault.kind, fault.arg);
            const int framesBefore = rfidsim_frame_count();
            const int linesBefore = int(log().size());
            button->click();
            ++clicks;

            const QString context = QStringLiteral("operation %1, %2").arg(op).arg(fault.describe());
            QStringList got = logT().mid(linesBefore);
            EXPECT_EQ(rfidsim_frame_count(), framesBefore + 1) << context.toStdString();
            if (fault.kind == RFIDSIM_WRITE_FAIL && !got.isEmpty()) {
                // The exchange says so itself, before the button's report.
                EXPECT_EQ(got.first(), rfid::writeFailureText()) << context.toStdString();
                got.removeFirst();
            }
            const Outcome outcome = classify(button->objectName(), got, context);
            ++seen[outcome];
            const std::vector<Outcome> ok = allowed(fault, button->objectName());
            EXPECT_NE(std::find(ok.begin(), ok.end(), outcome), ok.end())
                << context.toStdString() << ": " << button->objectName().toStdString() << " reported "
                << outcomeName(outcome) << ":\n"
                << got.join(QLatin1Char('\n')).toStdString();
            if (fault.kind == RFIDSIM_REFUSE && outcome == Outcome::Failure) {
                const QString code = QStringLiteral("%1").arg(fault.arg, 2, 16, QLatin1Char('0')).toUpper();
                EXPECT_EQ(got[1], rfid::falsereason(code)) << context.toStdString();
            }
        } else if (what == 7) {
            radios[rng() % radios.size()]->click();
        } else if (what == 8) {
            if (!boxes.empty())
                boxes[rng() % boxes.size()]->click();
            QComboBox* list = lists.empty() ? nullptr : lists[rng() % lists.size()];
            if (list && list->count() > 0)
                list->setCurrentIndex(int(rng() % unsigned(list->count())));
        } else {
            form->PageControl1->setCurrentIndex(kVisibleTabs[rng() % 3]);
        }
        if (::testing::Test::HasFailure())
            break;
    }

    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(clicks, 200);
    for (Outcome o : {Outcome::Success, Outcome::Failure, Outcome::NoData, Outcome::Damaged})
        EXPECT_GT(seen[o], 0) << "the run never produced a " << outcomeName(o) << " report";

    // The window still answers the operator.
    rfidsim_set_fault(RFIDSIM_OK, 0);
    form->RichEdit1->clear();
    click("Button57");
    EXPECT_EQ(logT(), (QStringList{"Restore factory settings Success    T", ""}));
    EXPECT_EQ(lastFrame(), "AA 00 01 CF CE BB");
}

} // namespace
