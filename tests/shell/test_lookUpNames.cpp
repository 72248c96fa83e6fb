// Tools > Look up names on a disc image, against a server this test starts on
// 127.0.0.1 that answers in MusicBrainz's shape: the names one release gives,
// the list of several, the one box for what goes wrong, a lookup during an
// extraction, and the tags of the MP3 files of a later run.

#include "NamesTestSupport.h"
#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "general/QtDialogs.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <latch>

using namespace namestest;
using testsupport::child;

namespace {

// Holds the server's answer back until opened; opens as it goes, so that a
// test that stops early never leaves the server waiting.
struct Gate {
    std::latch latch{1};
    std::atomic<bool> open{false};
    void Open() {
        if (!open.exchange(true))
            latch.count_down();
    }
    ~Gate() { Open(); }
};

std::string Bytes(const QString& path) {
    return testsupport::ReadAll(path.toStdString());
}

// The fields of an MP3 file's ID3v2.4 tag as TagLib reads them, "|" after each.
QString Tags(const QString& path) {
    TagLib::MPEG::File mp3(QFile::encodeName(path).constData());
    if (!mp3.hasID3v2Tag() || mp3.ID3v2Tag()->header()->majorVersion() != 4)
        return u"no ID3v2.4 tag"_s;
    TagLib::String fields;
    for (const char* key : {"TITLE", "ARTIST", "ALBUM", "TRACKNUMBER", "DISCNUMBER", "DATE",
                            "ALBUMARTIST", "BARCODE", "MUSICBRAINZ_ALBUMID"})
        fields += mp3.ID3v2Tag()->properties()[key].toString() + "|";
    return QString::fromStdString(fields.to8Bit(true));
}

// A release whose first medium has the disc's layout (4, 6 and 5 seconds),
// as an answer to every lookup; the medium is found by the tracks' lengths.
QJsonObject Holding(int id, const QString& album, const QString& second, int media = 1) {
    QJsonArray list{Medium(1, {}, {{u"Señal / Ruido"_s, 4000}, {second, 6000}, {u"Fin"_s, 5000}})};
    if (media > 1)
        list.append(Medium(2, {}, {{u"Other"_s, 1000}}, 200));
    return Release(id, album, list);
}

const QStringList kDefaultNames = {u"Track 01 - CD1"_s, u"Track 02 - CD1"_s, u"Track 03 - CD1"_s};

} // namespace

class LookUpNamesTest : public QObject {
    Q_OBJECT

    std::optional<testsupport::MainWindowRig> r_;
    std::optional<LocalServer> server_;
    std::optional<Gate> gate_;
    Reply reply_; // to every request, once the gate is open
    Dorvane* w_ = nullptr;
    QByteArray cache_;

    // A window on a three-track disc whose lookups go to the test's server.
    void start(Reply reply) {
        reply_ = std::move(reply);
        r_->discs({{"disc", {300, 450, 375}}});
        server_.emplace([this](const std::string&, int) {
            gate_->latch.wait();
            return reply_;
        });
        for (const auto& [key, value] : {std::pair{modSettings::kDrive, u"IMAGE disc.cue"_s},
                                         {modSettings::kMusicBrainzUrl, server_->Base()}})
            QVERIFY(modSettings::WriteSetting(modSettings::kSection, key, value));
        w_ = &r_->open();
    }
    void lookUp() { QTest::keyClick(w_, Qt::Key_L, Qt::ControlModifier); }
    bool looking() const { return w_->cursor().shape() == Qt::WaitCursor; }
    QAction* action(const char* name) { return child<QAction>(w_, name); }
    // Extracts the ticked tracks into the rig's folder.
    void extract(bool mp3, const QList<int>& ticked) {
        (mp3 ? w_->Settings()->optMP3 : w_->Settings()->optWAV)->setChecked(true);
        w_->Settings()->txtOutPath->setText(r_->folder.qpath());
        for (int i = 0; i < w_->TrackList->Count(); ++i)
            w_->TrackList->SetChecked(i, ticked.contains(i));
        QTest::mouseClick(child<LabelButton>(w_, "Label1"), Qt::LeftButton);
    }
    QString file(const QString& name) const { return r_->folder.qpath() + u'/' + name; }

  private slots:
    void init() {
        r_.emplace();
        gate_.emplace();
        cache_ = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(r_->folder.qpath() + u"/cache"_s));
        qputenv("NO_PROXY", "127.0.0.1");
        QVERIFY(QFile::link(QStringLiteral(DORVANE_LAME_MODULE), file(u"lame_enc.so"_s)));
    }
    void cleanup() {
        r_.reset(); // the window first: it ends its lookup
        gate_.reset();
        server_.reset();
        qputenv("XDG_CACHE_HOME", cache_);
    }

    // The release's titles, and its album's as the prefix, with the numbers;
    // a rename afterwards reads the name as before. An MP3 file then carries
    // a tag whose title is the name's at the click, before the audio a run
    // without a lookup makes; WAV files stay as they are.
    void oneReleaseNamesTheTracksAndTagsTheMp3Files() {
        gate_->Open();
        start(Http(200, Answer({Holding(1, u"Uno Dos"_s, u"La\u0007Espera"_s)})));
        lookUp();
        const QStringList named = {u"Señal / Ruido 01 - UnoDos"_s, u"La Espera 02 - UnoDos"_s,
                                   u"Fin 03 - UnoDos"_s};
        QTRY_COMPARE_WITH_TIMEOUT(w_->TrackList->Texts(), named, 30000);
        QVERIFY(r_->dialogs.boxes.empty() && !looking());
        w_->TrackList->setCurrentRow(1);
        QTest::keyClick(w_->TrackList, Qt::Key_F3);
        child<QLineEdit>(frmChangeTrack::Instance(), "txtNew")->setText(u"Otra vez"_s);
        QTest::keyClick(child<QLineEdit>(frmChangeTrack::Instance(), "txtNew"), Qt::Key_Return);
        QCOMPARE(w_->TrackList->ItemText(1), u"Otra vez Espera - UnoDos"_s);

        extract(true, {0, 1});
        extract(false, {2});
        const std::string tagged = Bytes(file(u"Señal _ Ruido 01 - UnoDos.mp3"_s));
        const std::string wav = Bytes(file(u"Fin 03 - UnoDos.wav"_s));
        const QString rest =
            u"Band|Uno Dos|%1/3|1/1|1998-03-27|Band|724384260620|"_s + Mbid(1) + u'|';
        QCOMPARE(Tags(file(u"Señal _ Ruido 01 - UnoDos.mp3"_s)), u"Señal / Ruido|"_s + rest.arg(1));
        QCOMPARE(Tags(file(u"Otra vez Espera - UnoDos.mp3"_s)), u"Otra vez|"_s + rest.arg(2));

        // F5 reads the disc anew: the names, and the files, are as before.
        action("mnurefresh")->trigger();
        QCOMPARE(w_->TrackList->Texts(), kDefaultNames);
        extract(true, {0});
        extract(false, {2});
        const std::string plain = Bytes(file(u"Track 01 - CD1.mp3"_s));
        const auto b = [&tagged](int i) { return std::size_t(std::uint8_t(tagged.at(i))); };
        const std::size_t tagSize = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
        QVERIFY(plain.size() > 1000 && Tags(file(u"Track 01 - CD1.mp3"_s)) == u"no ID3v2.4 tag"_s);
        QVERIFY(tagged.size() == tagSize + plain.size() && tagged.ends_with(plain));
        QVERIFY(wav.size() > 44 && wav == Bytes(file(u"Track 03 - CD1.wav"_s)));
        QVERIFY(r_->dialogs.boxes.empty());
    }

    // While the lookup waits for the server the window shows a wait cursor
    // and stays usable, and a second Ctrl+L starts nothing. Several releases
    // are offered; a pick names the tracks, a cancel changes nothing.
    void severalReleasesAreOfferedToPickFrom() {
        start(Http(
            200, Answer({Holding(1, u"Uno"_s, u"Dos"_s), Holding(2, u"Tres"_s, u"Cuatro"_s, 2)})));
        lookUp();
        QTRY_COMPARE_WITH_TIMEOUT(server_->Requests().size(), 1u, 30000);
        QVERIFY(looking());
        QTest::keyClick(w_, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(w_->TrackList->IsChecked(0));
        lookUp();
        r_->dialogs.picks = {1, -1};
        gate_->Open();
        QTRY_COMPARE_WITH_TIMEOUT(r_->dialogs.listChoices.size(), std::size_t(1), 30000);
        const QStringList named = {u"Señal / Ruido 01 - Tres"_s, u"Cuatro 02 - Tres"_s,
                                   u"Fin 03 - Tres"_s};
        QCOMPARE(w_->TrackList->Texts(), named);
        QVERIFY(!looking());
        const ScriptedDialogs::ListChoice& offered = r_->dialogs.listChoices[0];
        QCOMPARE(offered.headings.join(u'|'),
                 u"Title|Artist|Date|Country|Label|Catalogue no.|Tracks"_s);
        QCOMPARE(offered.rows.size(), 2);
        QCOMPARE(offered.rows[0].join(u'|'), u"Uno|Band|1998-03-27|GB|Virgin|CDV 2843|3"_s);
        QCOMPARE(offered.rows[1][0], u"Tres (disc 1 of 2)"_s);

        lookUp(); // answered from the cache this time
        QTRY_COMPARE_WITH_TIMEOUT(r_->dialogs.listChoices.size(), std::size_t(2), 30000);
        QCOMPARE(w_->TrackList->Texts(), named);
        QVERIFY(r_->dialogs.boxes.empty() && server_->Requests().size() == 1);
    }

    // Each is told in one box, and the names stay as they were.
    void whatGoesWrongIsToldOnce() {
        gate_->Open();
        start({});
        const QString closed = LocalServer([](auto&, int) { return Reply{}; }).Base();
        const struct {
            Reply reply; // to every request
            bool noServer;
            QString says;
        } cases[] = {
            {Http(404, "{}"), false, u"This disc is not in MusicBrainz."_s},
            {Http(500, "oops"), false,
             u"Cannot look the disc up in MusicBrainz: the server answered HTTP 500."_s},
            {Http(200, "<html>"), false,
             u"Cannot look the disc up in MusicBrainz: the answer is not JSON"_s},
            {{}, true, u"Cannot look the disc up in MusicBrainz: "_s},
        };
        for (const auto& c : cases) {
            reply_ = c.reply;
            QVERIFY(modSettings::WriteSetting(modSettings::kSection, modSettings::kMusicBrainzUrl,
                                              c.noServer ? closed : server_->Base()));
            const std::size_t before = r_->dialogs.boxes.size();
            lookUp();
            QTRY_COMPARE_WITH_TIMEOUT(r_->dialogs.boxes.size(), before + 1, 30000);
            const ScriptedDialogs::Box& box = r_->dialogs.boxes.back();
            QVERIFY2(box.text.startsWith(c.says) && box.buttons == Dialogs::Buttons::Ok,
                     qPrintable(box.text));
            QCOMPARE(w_->TrackList->Texts(), kDefaultNames);
        }
        QVERIFY(r_->dialogs.listChoices.empty() && r_->dialogs.boxes.size() == 4);
    }

    // During an extraction the entry is greyed and Ctrl+L does nothing; the
    // names of a lookup that ends during the run come once it has ended.
    void namesWaitForTheRunToEnd() {
        start(Http(200, Answer({Holding(1, u"Uno"_s, u"Dos"_s)})));
        lookUp();
        QTRY_COMPARE_WITH_TIMEOUT(server_->Requests().size(), 1u, 30000);
        QTimer::singleShot(0, w_, [this] {
            QVERIFY(!action("mnuLookUp")->isEnabled());
            gate_->Open();
            QTRY_VERIFY_WITH_TIMEOUT(!looking(), 30000); // the answer is in
            action("mnuLookUp")->trigger();
            QVERIFY(!looking());
            QCOMPARE(w_->TrackList->Texts(), kDefaultNames);
        });
        extract(false, {0, 1, 2});
        QCOMPARE(w_->TrackList->Texts(),
                 (QStringList{u"Señal / Ruido 01 - Uno"_s, u"Dos 02 - Uno"_s, u"Fin 03 - Uno"_s}));
        QVERIFY(action("mnuLookUp")->isEnabled() && server_->Requests().size() == 1);
        QVERIFY(QFile::exists(file(u"Track 03 - CD1.wav"_s)));
    }

    // The real list shows the rows, the first one current: Enter picks the
    // current row, Esc cancels.
    void theRealListPicksARowOrCancels() {
        for (const auto& [key, picked] : {std::pair{Qt::Key_Return, 1}, {Qt::Key_Escape, -1}}) {
            QString seen;
            QTimer::singleShot(0, [&seen, key] {
                auto* table = child<QTreeWidget>(QApplication::activeModalWidget(), "Rows");
                seen = table->currentItem()->text(1) + u'|' + table->topLevelItem(1)->text(0);
                QTest::keyClick(table, Qt::Key_Down);
                QTest::keyClick(table, key);
            });
            QCOMPARE(QtDialogs().ChooseFromList(
                         u"Look up names"_s, u"Which?"_s, {u"Title"_s, u"Artist"_s},
                         {{u"Uno"_s, u"<b>Band</b>"_s}, {u"Dos"_s, u"Other"_s}}),
                     picked);
            QCOMPARE(seen, u"<b>Band</b>|Dos"_s);
        }
    }
};

QTEST_MAIN(LookUpNamesTest)
#include "test_lookUpNames.moc"
