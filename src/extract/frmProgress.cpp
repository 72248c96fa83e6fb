#include "extract/frmProgress.h"

#include "extract/mVariables.h"
#include "general/FormLayout.h"
#include "general/LabelButton.h"
#include "general/Twips.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>

#include <algorithm>

namespace {

using formlayout::place;

// A repaint per block can cost more than reading and writing the block, so
// the window is painted at most once per screen frame; its state still
// changes on every block.
constexpr int kFrameMs = 16;

QFont Arial(qreal points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

} // namespace

frmProgress::frmProgress(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("Progress"));
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(twips::px(5100), twips::px(1140));
    formlayout::fillBackground(this, twips::kRed);
    setMouseTracking(true);

    lblStatus = place(new QLabel(QStringLiteral("Extracting"), this), QStringLiteral("lblStatus"),
                      twips::rect(0, 60, 5175, 255));
    lblStatus->setAlignment(Qt::AlignCenter);
    // A track name is shown as typed, even one that looks like markup.
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setFont(Arial(8.25));
    QPalette white = lblStatus->palette();
    white.setColor(QPalette::WindowText, twips::kWhite);
    lblStatus->setPalette(white);

    picProgress1 =
        place(new QFrame(this), QStringLiteral("picProgress1"), twips::rect(0, 360, 5175, 255));
    picProgress1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picProgress1->setLineWidth(2);
    formlayout::fillBackground(picProgress1, twips::kRed);
    const QRect inner = picProgress1->contentsRect();
    picProgress2 = place(new QWidget(picProgress1), QStringLiteral("picProgress2"),
                         QRect(inner.topLeft(), QSize(twips::px(5115), twips::px(195))));
    formlayout::fillBackground(picProgress2, twips::kWhite);

    Shape1 = place(new Shape(this, QStringLiteral("Shape1"), Shape::Kind::Rectangle, twips::kWhite),
                   QStringLiteral("Shape1"), twips::rect(1680, 660, 1815, 375));
    // An invisible click area around the button, under its caption.
    Image1 = place(new LabelButton(this, QStringLiteral("Image1"), QString()),
                   QStringLiteral("Image1"), twips::rect(1680, 600, 1815, 495));
    Image1->unsetCursor();
    Label1 = place(new LabelButton(this, QStringLiteral("Label1"), QStringLiteral("Cancel")),
                   QStringLiteral("Label1"), twips::rect(1800, 720, 1575, 375));
    Label1->setFont(Arial(12));

    const auto cancel = [] { mVariables::CancelRequested = true; };
    connect(Label1, &LabelButton::clicked, this, cancel);
    connect(Image1, &LabelButton::clicked, this, cancel);
    connect(Label1, &LabelButton::pointerMoved, this,
            [this] { Shape1->setFillColor(twips::kRed); });

    repaintTimer_.setSingleShot(true);
    connect(&repaintTimer_, &QTimer::timeout, this, [this] {
        frameClock_.restart();
        setUpdatesEnabled(true);
    });
}

void frmProgress::ShowCentred() {
    formlayout::centreOnScreen(this, parentWidget() ? parentWidget()->screen()
                                                    : QGuiApplication::primaryScreen());
    show();
}

void frmProgress::HoldPaint() {
    if (!frameClock_.isValid() || frameClock_.elapsed() >= kFrameMs) {
        frameClock_.restart();
        if (!updatesEnabled())
            setUpdatesEnabled(true);
        return;
    }
    if (updatesEnabled())
        setUpdatesEnabled(false);
    if (!repaintTimer_.isActive())
        repaintTimer_.start(kFrameMs);
}

void frmProgress::ChangeProgress(const QString& Status, float CurVal, float TotVal) {
    HoldPaint();
    const float fraction = TotVal > 0 ? CurVal / TotVal : 0.0f;
    const float percent = fraction * 100.0f;
    QString shown = QString::asprintf("%05.2f", static_cast<double>(percent));
    shown.replace(QLatin1Char('.'), QLocale().decimalPoint());
    setWindowTitle(QStringLiteral("Progress ") + shown + QStringLiteral(" %"));
    const int full = picProgress1->contentsRect().width();
    picProgress2->resize(std::clamp(qRound(fraction * static_cast<float>(full)), 0, full),
                         picProgress2->height());
    lblStatus->setText(Status);
}

void frmProgress::mouseMoveEvent(QMouseEvent* event) {
    Shape1->setFillColor(twips::kWhite);
    QWidget::mouseMoveEvent(event);
}

void frmProgress::closeEvent(QCloseEvent* event) {
    // The window belongs to the track: it goes when the track is finished.
    mVariables::CancelRequested = true;
    event->ignore();
}
