#include "window/qt/velm.h"

#include "window/commands/control_table.h"
#include "window/commands/list_texts.h"
#include "window/qt/heading_label.h"
#include "window/qt/list_menu.h"
#include "window/qt/program_icon.h"
#include "window/qt/result_list.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <string_view>
#include <vector>

namespace velmora {

namespace {

const QString kTitle = QStringLiteral("velmora");

// Label1's designed face; no Linux machine has it, so Qt is told the nearest proportional Japanese
// sans-serif faces to take instead (left alone, fontconfig would hand out a face without Japanese).
const QString kLabel1Face = QStringLiteral("ＭＳ Ｐゴシック");

// The default user-interface font: the first installed of these Japanese faces, proportional ones first,
// at 9 point, the size of the target desktop's own. Left to itself Qt picks a face without Japanese here,
// and kana then come from a fallback face beside the digits and Latin letters of another.
const QStringList kUiFaces{QStringLiteral("IPAPGothic"),  QStringLiteral("Noto Sans CJK JP"),
                           QStringLiteral("IPAGothic"),   QStringLiteral("Source Han Sans JP"),
                           QStringLiteral("VL PGothic"),  QStringLiteral("TakaoPGothic")};
constexpr int kUiPointSize = 9;

void installFonts() {
    static const bool installed = [] {
        QFont::insertSubstitutions(kLabel1Face, {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
        const QStringList families = QFontDatabase::families(QFontDatabase::Japanese);
        const auto face = std::ranges::find_if(kUiFaces, [&](const QString& f) { return families.contains(f); });
        if (face != kUiFaces.end()) {
            QFont font(*face);
            font.setPointSize(kUiPointSize);
            QApplication::setFont(font);
        }
        return true;
    }();
    (void)installed;
}

// 12 point, weight 400, upright, neither underlined nor struck out. The design also names the Shift-JIS
// character set (code 128); Qt fonts carry no character set, the face's Japanese coverage stands for it.
QFont label1Font() {
    QFont font(kLabel1Face);
    font.setPointSize(12);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QRect pixelRect(const ControlSpec& spec) {
    return QRect(twipsToPixels(spec.left), twipsToPixels(spec.top), twipsToPixels(spec.width),
                 twipsToPixels(spec.height));
}

// The program's message box: no icon, none on OK either, and no minimise or maximise button. Without an owner
// (before the window is shown) it stands in the middle of the screen; QDialog would shift it by the frame
// it guesses a window manager adds, and with an owner not yet on the screen it would stand where that
// window's corner is to come.
class MessageBox final : public QMessageBox {
public:
    MessageBox(const QString& text, const QString& detail, QWidget* owner)
        : QMessageBox(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, owner) {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowCloseButtonHint);
        setInformativeText(detail);
        for (QAbstractButton* b : buttons())
            b->setIcon(QIcon()); // some styles put an icon on OK
    }

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event); // sizes the box
        if (parentWidget())
            return;
        QRect frame = frameGeometry();
        frame.moveCenter(screen()->availableGeometry().center());
        move(frame.topLeft());
    }
};

// Swallows everything the user did while a search held the thread, so that a click queued during it does
// not fire once the search is over; a request to close the window is noted instead (the commands then end
// the program once the search is over).
class InputSwallower final : public QObject {
public:
    bool closeRequested = false;

    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Close:
            closeRequested = true;
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

Velm::Velm(std::size_t rowLimit, Search search) : m_commands(*this, rowLimit, std::move(search)) {
    setObjectName(QStringLiteral("velm"));
    setWindowTitle(kTitle);
    setWindowIcon(programIcon());
    installFonts();
    createControls();
    resize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    m_start->setFocus();
}

void Velm::createControls() {
    int labelCount = 0;
    int listCount = 0;
    // Created in the table's order, labels before lists, so that a list is drawn over a label it overlaps.
    for (const ControlSpec& spec : kControls) {
        QWidget* control = nullptr;
        switch (spec.kind) {
        case ControlKind::Label: {
            auto* label = new HeadingLabel(this);
            m_labelTabIndexes.at(std::size_t(labelCount)) = spec.tabIndex;
            m_labels.at(std::size_t(labelCount++)) = label;
            connect(label, &HeadingLabel::accessKeyPressed, this, [this, tab = spec.tabIndex] { focusAfter(tab); });
            control = label;
            break;
        }
        case ControlKind::List: {
            const int column = listCount++;
            auto* list = new ResultList(m_commands.rows(), column, this);
            list->setAccessibleName(fromUtf8(listAccessibleName(column, {}))); // until its heading comes
            m_lists.at(std::size_t(column)) = list;
            m_tabOrder.emplace_back(spec.tabIndex, list);
            control = list;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(fromUtf8(spec.caption), this);
            button->setAutoDefault(false);
            button->setDefault(false);
            button->installEventFilter(this);
            m_tabOrder.emplace_back(spec.tabIndex, button);
            control = button;
            break;
        }
        }
        control->setObjectName(fromUtf8(spec.name));
        control->setGeometry(pixelRect(spec));
    }
    for (ResultList* list : m_lists)
        list->raise();
    new ListMenu(m_export, m_lists, this);
    m_labels[0]->setFont(label1Font());

    std::ranges::sort(m_tabOrder, {}, &std::pair<int, QWidget*>::first);
    for (std::size_t i = 1; i < m_tabOrder.size(); ++i)
        setTabOrder(m_tabOrder[i - 1].second, m_tabOrder[i].second);

    m_start = findChild<QPushButton*>(QStringLiteral("Command1"));
    m_quit = findChild<QPushButton*>(QStringLiteral("Command2"));
    m_reset = findChild<QPushButton*>(QStringLiteral("Command3"));
    connect(m_start, &QPushButton::clicked, this, &Velm::Command1_Click);
    connect(m_quit, &QPushButton::clicked, this, &Velm::Command2_Click);
    connect(m_reset, &QPushButton::clicked, this, &Velm::Command3_Click);
}

// Keys on a focused button, as on the target desktop: Enter clicks it, as Space does (a QPushButton clicks
// on Enter only as a default button, and none of the window's is one); a button takes no characters, so a
// plain character acts as the access key it marks, as Alt with it would.
bool Velm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !qobject_cast<QPushButton*>(watched))
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & ~Qt::KeypadModifier)) {
        static_cast<QPushButton*>(watched)->click();
        return true;
    }
    const QString typed = key->text();
    if (typed.size() != 1 || typed[0].isSpace() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    for (std::size_t i = 0; i < m_labels.size(); ++i)
        if (accessKeysOf(m_labels[i]->text()).matches(typed[0].unicode())) {
            focusAfter(m_labelTabIndexes[i]);
            return true;
        }
    return false;
}

// A label's access key moves the focus to the next control in tab order after the label that can take it.
void Velm::focusAfter(int tabIndex) {
    const auto canTake = [](const std::pair<int, QWidget*>& c) {
        return c.second->isEnabled() && c.second->isVisible() && (c.second->focusPolicy() & Qt::TabFocus);
    };
    auto next = std::ranges::find_if(m_tabOrder, [&](const auto& c) { return c.first > tabIndex && canTake(c); });
    if (next == m_tabOrder.end())
        next = std::ranges::find_if(m_tabOrder, canTake);
    if (next != m_tabOrder.end())
        next->second->setFocus(Qt::ShortcutFocusReason);
}

void Velm::setVisible(bool visible) {
    if (visible && !m_loaded)
        Form_Load();
    QWidget::setVisible(visible);
    // The focus is always shown, from the first showing on, as on the target desktop. Showing a window
    // makes Qt's styles hide it until the keyboard moves it; a mouse click does not hide it again.
    if (visible)
        setAttribute(Qt::WA_KeyboardFocusChange);
}

void Velm::Form_Load() {
    m_loaded = true;
    m_commands.Form_Load();
}

bool Velm::setHeading(int term, const std::string& text) {
    m_labels.at(std::size_t(term))->setText(fromUtf8(text));
    m_lists.at(std::size_t(term))->setAccessibleName(fromUtf8(listAccessibleName(term, text)));
    return true;
}

void Velm::showMessage(const std::string& text, const std::string& detail) {
    MessageBox box(fromUtf8(text), fromUtf8(detail), isVisible() ? this : nullptr);
    box.exec();
}

void Velm::setBusy(bool busy) {
    if (!busy) {
        QGuiApplication::restoreOverrideCursor();
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // Let the window system put up the hourglass before the search holds the thread; input stays queued.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool Velm::discardQueuedInput() {
    InputSwallower swallower;
    qApp->installEventFilter(&swallower);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&swallower);
    return swallower.closeRequested;
}

void Velm::rowsChanged() {
    for (ResultList* list : m_lists)
        list->rowsChanged();
}

void Velm::quit() { QCoreApplication::exit(0); }

std::string Velm::putOnClipboard(const ClipboardText& text) { return putOnQtClipboard(text); }

std::optional<std::filesystem::path> Velm::askSavePath() { return askQtSavePath(this); }

} // namespace velmora
