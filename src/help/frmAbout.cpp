#include "help/frmAbout.h"

#include "general/AppIcon.h"
#include "general/Dialogs.h"
#include "general/FormLayout.h"
#include "general/LabelButton.h"
#include "general/Twips.h"
#include "general/modGeneral.h"
#include "help/modHelp.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace {

using formlayout::place;

QPointer<frmAbout> g_open;

QString Disclaimer() {
    const QString company = modHelp::CompanyName();
    return QStringLiteral(
               "Dorvane is given away free of charge on the understanding that neither %1 nor any "
               "of its "
               "affiliates accepts responsibility for damage that results from its general use.\n\n"
               "General use means the everyday use the software was made for: reading audio CDs "
               "and "
               "saving their tracks as files.\n\n"
               "Any loss of data, fault of hardware, death or personal injury that results from "
               "using this "
               "software is the sole responsibility of the user.\n\n"
               "Dorvane and all of its files: %2. All rights reserved.")
        .arg(company, modHelp::CopyrightNotice());
}

} // namespace

frmAbout* frmAbout::Open(Dialogs& dialogs) {
    if (g_open) {
        g_open->raise();
        g_open->activateWindow();
        return g_open;
    }
    auto* window = new frmAbout(dialogs);
    g_open = window;
    formlayout::centreOnScreen(window);
    window->show();
    window->activateWindow();
    return window;
}

frmAbout* frmAbout::Instance() {
    return g_open;
}

frmAbout::frmAbout(Dialogs& dialogs) : QWidget(nullptr), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                   Qt::WindowTitleHint);
    setFixedSize(twips::px(6660), twips::px(4590));
    formlayout::fillBackground(this, twips::kLightGrey);
    setWindowIcon(AppIcon());

    auto* image =
        place(new QLabel(this), QStringLiteral("Image1"), twips::rect(120, 120, 855, 735));
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->setPixmap(AppIconPixmap(48));

    auto* title = place(new QLabel(modGeneral::kAppTitle, this), QStringLiteral("Label1"),
                        twips::rect(1200, 240, 4000, 435));
    QFont titleFont(QStringLiteral("Verdana"), 18, QFont::Bold);
    title->setFont(titleFont);

    // Caption, colon and value of each row; the values are filled in as the
    // window loads, from the build's version information.
    struct Row {
        const char* caption;
        const char* colon;
        const char* value;
        int top;
        QString text;
    };
    const Row rows[] = {
        {"Label2", "Label8", "Label13", 1200,
         QStringLiteral("%1.%2").arg(modGeneral::VersionMajor()).arg(modGeneral::VersionMinor())},
        {"Label7", "Label9", "Label14", 1440, QString::number(modGeneral::VersionRevision())},
        {"Label3", "Label10", "Label15", 1680, modHelp::CompanyName()},
        {"Label4", "Label11", "Label16", 1920, modHelp::HomePage()},
        {"Label5", "Label12", "Label17", 2160, QStringLiteral("Freeware")},
    };
    const char* const captions[] = {"Version", "Build", "Author", "Homepage", "Licence"};
    QFont rowFont(QStringLiteral("Verdana"));
    rowFont.setPointSizeF(9.75);
    for (int i = 0; i < 5; ++i) {
        const Row& row = rows[i];
        const QString texts[] = {QString::fromLatin1(captions[i]), QStringLiteral(":"), row.text};
        const char* names[] = {row.caption, row.colon, row.value};
        const int lefts[] = {1560, 2760, 3000};
        const int widths[] = {1200, 240, 3600};
        for (int c = 0; c < 3; ++c) {
            auto* label = place(new QLabel(texts[c], this), QString::fromLatin1(names[c]),
                                twips::rect(lefts[c], row.top, widths[c], 240));
            label->setFont(rowFont);
        }
    }

    auto* text = place(new QPlainTextEdit(Disclaimer(), this), QStringLiteral("Text1"),
                       twips::rect(960, 2760, 4935, 1095));
    text->setReadOnly(true);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text->setFont(formlayout::sansSerif(8.25));

    Label6 = place(new LabelButton(this, QStringLiteral("Label6"), modHelp::CopyrightNotice()),
                   QStringLiteral("Label6"), twips::rect(120, 4200, 4200, 255));
    Label6->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont linkFont = formlayout::sansSerif(8.25);
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    Label6->setFont(linkFont);
    QPalette blue = Label6->palette();
    blue.setColor(QPalette::WindowText, twips::kBlue);
    Label6->setPalette(blue);
    Label6->setToolTip(modHelp::HomePage());
    connect(Label6, &LabelButton::clicked, this,
            [this] { dialogs_.OpenWithShell(modHelp::HomePage()); });

    Command1 = place(new QPushButton(QStringLiteral("&Close"), this), QStringLiteral("Command1"),
                     twips::rect(5400, 4200, 1095, 375));
    Command1->setFont(formlayout::sansSerif(8.25));
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
}
