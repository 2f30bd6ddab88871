// The program's reader of the banner helper's replies: the replies asked for are read whole
// however the bytes arrive, with their pixels as sent and only their web links, clipped to the
// picture; anything out of line, larger than asked or later than its budget breaks the reader.
#include "platform/bannerreply.h"

#include <QTest>
#include <climits>

using namespace Qt::StringLiterals;

using namespace BannerProtocol;
using Reply = BannerReplyReader::Reply;

namespace {

const QSize kSize(10, 4);
const QSize kPixels(20, 8);  // at a scale of 2
constexpr quint32 kView = 1;
constexpr quint32 kSerial = 5;
constexpr quint32 kBlue = 0xff204080;

template <typename Header>
QByteArray bytesOf(const Header& header)
{
    QByteArray bytes(sizeof header, Qt::Uninitialized);
    store(header, bytes.data());
    return bytes;
}

QByteArray link(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, const QByteArray& url)
{
    return bytesOf(LinkHeader{x, y, width, height, std::uint32_t(url.size())}) + url;
}

QByteArray pixels(const QSize& size)
{
    QByteArray bytes;
    for (int i = 0; i < size.width() * size.height(); ++i)
        bytes.append(reinterpret_cast<const char*>(&kBlue), sizeof kBlue);
    return bytes;
}

QByteArray picture(ReplyStatus status, const QSize& size = kPixels, const QByteArrayList& links = {},
                   quint32 serial = kSerial, quint32 view = kView)
{
    const QByteArray linkBytes = links.join();
    return bytesOf(ReplyHeader{kReplyMagic, view, serial, status, std::uint32_t(size.width()),
                               std::uint32_t(size.height()), std::uint32_t(links.size()),
                               std::uint32_t(linkBytes.size())})
           + pixels(size) + linkBytes;
}

QByteArray placeholder(quint32 view = kView) { return bytesOf(ReplyHeader{kReplyMagic, view, kSerial}); }

}  // namespace

class TestBannerReply : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsTheRepliesAskedForHoweverTheyArrive()
    {
        BannerReplyReader reader;
        reader.expect(kView, kSerial, kSize, kPixels, 0);
        reader.expect(2, kSerial, kSize, kPixels, 0);
        const QByteArray stream =
            picture(ReplyStatus::Partial)
            + picture(ReplyStatus::Complete, kPixels,
                      {link(1, 1, 3, 2, "http://mozhe.example/promo.html"), link(0, 0, 4, 4, "file:///etc/passwd"),
                       link(8, 2, 5, 5, "https://mozhe.example/half-outside"), link(20, 20, 4, 4, "http://outside/")})
            + placeholder(2);
        QList<Reply> done;
        for (const char byte : stream)
            QVERIFY(reader.take(&byte, 1, 10, done));
        QCOMPARE(done.size(), 3);
        QCOMPARE(done[0].status, ReplyStatus::Partial);
        QCOMPARE(done[1].status, ReplyStatus::Complete);
        QCOMPARE(done[1].picture.size(), kPixels);
        QCOMPARE(done[1].picture.pixel(19, 7), kBlue);
        QCOMPARE(done[1].links.size(), 2);
        QCOMPARE(done[1].links[0].address, QUrl(u"http://mozhe.example/promo.html"_s));
        QCOMPARE(done[1].links[0].area, QRect(1, 1, 3, 2));
        QCOMPARE(done[1].links[1].area, QRect(8, 2, 2, 2));
        QCOMPARE(done[2].view, 2u);
        QCOMPARE(done[2].status, ReplyStatus::Placeholder);
        QVERIFY(done[2].picture.isNull());
        QCOMPARE(reader.nextDeadline(), -1);
    }

    void breaksOnAnythingOutOfLine_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("then");  // after the time below
        QTest::addColumn<qint64>("thenAtMs");
        const QByteArray whole = picture(ReplyStatus::Complete);
        QByteArray notAReply = whole;
        notAReply[0] = 'X';
        const QByteArray longUrl(kUrlLimit + 1, 'a');
        QByteArray overLinkBytes =
            bytesOf(ReplyHeader{kReplyMagic, kView, kSerial, ReplyStatus::Complete, 20, 8, 1, kMaxLinkBytes + 1});
        const QByteArray manyLinks =
            bytesOf(ReplyHeader{kReplyMagic, kView, kSerial, ReplyStatus::Complete, 20, 8, kLinkLimit + 1,
                                std::uint32_t((kLinkLimit + 1) * sizeof(LinkHeader))});
        QByteArray unequalLinks = picture(ReplyStatus::Complete, kPixels, {link(0, 0, 1, 1, "http://a/")});
        unequalLinks[28] = char(unequalLinks[28] + 1);  // one byte more than the links hold
        const qint64 late = BannerReplyReader::kReplyBudgetMs + 1;
        const qint64 stalled = BannerReplyReader::kTransferBudgetMs + 1;

        QTest::newRow("not a reply") << notAReply << QByteArray() << 0ll;
        QTest::newRow("a view not asked")
            << picture(ReplyStatus::Complete, kPixels, {}, kSerial, 2) << QByteArray() << 0ll;
        QTest::newRow("a request not asked")
            << picture(ReplyStatus::Complete, kPixels, {}, kSerial - 1) << QByteArray() << 0ll;
        QTest::newRow("a picture larger than asked")
            << picture(ReplyStatus::Complete, QSize(21, 8)) << QByteArray() << 0ll;
        QTest::newRow("a picture smaller than asked")
            << picture(ReplyStatus::Complete, QSize(20, 7)) << QByteArray() << 0ll;
        QTest::newRow("a placeholder with pixels") << picture(ReplyStatus::Placeholder) << QByteArray() << 0ll;
        QTest::newRow("an unknown kind of reply") << picture(ReplyStatus(7)) << QByteArray() << 0ll;
        QTest::newRow("two partial replies")
            << picture(ReplyStatus::Partial) + picture(ReplyStatus::Partial) << QByteArray() << 0ll;
        QTest::newRow("two whole replies") << whole + whole << QByteArray() << 0ll;
        QTest::newRow("bytes after the reply") << whole + QByteArray(32, 'g') << QByteArray() << 0ll;
        QTest::newRow("more links than allowed") << manyLinks << QByteArray() << 0ll;
        QTest::newRow("a link list longer than allowed") << overLinkBytes << QByteArray() << 0ll;
        QTest::newRow("a link address longer than allowed")
            << picture(ReplyStatus::Complete, kPixels, {link(0, 0, 1, 1, longUrl)}) << QByteArray() << 0ll;
        QTest::newRow("a link list that does not add up") << unequalLinks << QByteArray(4, 'x') << 0ll;
        QTest::newRow("a link area out of all bounds")
            << picture(ReplyStatus::Complete, kPixels, {link(INT_MAX, 0, INT_MAX, 1, "http://a/")}) << QByteArray()
            << 0ll;
        QTest::newRow("a reply that stalls") << whole.left(100) << whole.mid(100) << stalled;
        QTest::newRow("a reply later than its budget") << QByteArray() << whole << late;
    }

    void breaksOnAnythingOutOfLine()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, then);
        QFETCH(qint64, thenAtMs);
        BannerReplyReader reader;
        reader.expect(kView, kSerial, kSize, kPixels, 0);
        QList<Reply> done;
        const bool read = reader.take(first.constData(), first.size(), 0, done)
                          && reader.take(then.constData(), then.size(), thenAtMs, done);
        QVERIFY(!read);
        QVERIFY(!reader.error().isEmpty());
        // Broken for good: not even a proper reply is read now.
        const QByteArray whole = picture(ReplyStatus::Complete);
        QVERIFY(!reader.take(whole.constData(), whole.size(), thenAtMs, done));
    }
};

QTEST_APPLESS_MAIN(TestBannerReply)
#include "test_bannerreply.moc"
