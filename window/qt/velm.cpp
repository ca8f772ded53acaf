#include "window/qt/velm.h"

#include "window/commands/control_table.h"
#include "window/qt/heading_label.h"
#include "window/qt/program_icon.h"
#include "window/qt/result_list.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <string_view>
#include <vector>

namespace velmora {

namespace {

const QString kTitle = QStringLiteral("velmora");

// Label1's designed face; no Linux machine has it, so Qt is told the nearest proportional Japanese
// sans-serif faces to take instead (left alone, fontconfig would hand out a face without Japanese).
const QString kLabel1Face = QStringLiteral("ＭＳ Ｐゴシック");

void installFontSubstitutions() {
    static const bool installed = [] {
        QFont::insertSubstitutions(kLabel1Face, {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
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

// Swallows everything the user did while a search held the thread, so that a click queued during it does
// not fire once the search is over.
class InputSwallower final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
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
    installFontSubstitutions();
    createControls();
    resize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    m_start->setFocus();
}

void Velm::createControls() {
    std::vector<std::pair<int, QWidget*>> focusable; // tab index, control
    int labelCount = 0;
    int listCount = 0;
    // Created in the table's order, labels before lists, so that a list is drawn over a label it overlaps.
    for (const ControlSpec& spec : kControls) {
        QWidget* control = nullptr;
        switch (spec.kind) {
        case ControlKind::Label: {
            auto* label = new HeadingLabel(this);
            m_labels.at(std::size_t(labelCount++)) = label;
            control = label;
            break;
        }
        case ControlKind::List: {
            const int column = listCount++;
            auto* list = new ResultList(m_commands.rows(), column, this);
            m_lists.at(std::size_t(column)) = list;
            focusable.emplace_back(spec.tabIndex, list);
            control = list;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(fromUtf8(spec.caption), this);
            button->setAutoDefault(false);
            button->setDefault(false);
            focusable.emplace_back(spec.tabIndex, button);
            control = button;
            break;
        }
        }
        control->setObjectName(fromUtf8(spec.name));
        control->setGeometry(pixelRect(spec));
    }
    for (ResultList* list : m_lists)
        list->raise();
    m_labels[0]->setFont(label1Font());

    std::ranges::sort(focusable, {}, &std::pair<int, QWidget*>::first);
    for (std::size_t i = 1; i < focusable.size(); ++i)
        setTabOrder(focusable[i - 1].second, focusable[i].second);

    m_start = findChild<QPushButton*>(QStringLiteral("Command1"));
    m_quit = findChild<QPushButton*>(QStringLiteral("Command2"));
    m_reset = findChild<QPushButton*>(QStringLiteral("Command3"));
    connect(m_start, &QPushButton::clicked, this, &Velm::Command1_Click);
    connect(m_quit, &QPushButton::clicked, this, &Velm::Command2_Click);
    connect(m_reset, &QPushButton::clicked, this, &Velm::Command3_Click);
}

void Velm::setVisible(bool visible) {
    if (visible && !m_loaded)
        Form_Load();
    QWidget::setVisible(visible);
}

void Velm::Form_Load() {
    m_loaded = true;
    m_commands.Form_Load();
}

bool Velm::setHeading(int term, const std::string& text) {
    m_labels.at(std::size_t(term))->setText(fromUtf8(text));
    return true;
}

void Velm::showMessage(const std::string& text, const std::string& detail) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, fromUtf8(text), QMessageBox::Ok, this);
    box.setInformativeText(fromUtf8(detail));
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

void Velm::discardQueuedInput() {
    InputSwallower swallower;
    qApp->installEventFilter(&swallower);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&swallower);
}

void Velm::rowsChanged() {
    for (ResultList* list : m_lists)
        list->rowsChanged();
}

void Velm::quit() { QCoreApplication::exit(0); }

} // namespace velmora
