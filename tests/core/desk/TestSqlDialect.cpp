// The three dialects side by side on the same cases, without a database.
#include "core/desk/FieldCodec.h"
#include "core/desk/JsonText.h"
#include "core/desk/SqlDialect.h"
#include "core/jobs/ImportRegister.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace zb32;

namespace {

using Kind = SqlDialect::Kind;

// One expected value per dialect, in the order SQLite, PostgreSQL, ODBC.
void addPerDialect(const char* name, const QVariantList& expected, const QVariant& input = {})
{
    const char* dialects[] = { "sqlite", "postgresql", "odbc" };
    const Kind kinds[] = { Kind::SQLite, Kind::PostgreSQL, Kind::Odbc };
    for (int i = 0; i < 3; ++i) {
        QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(name), QLatin1String(dialects[i]))))
            << int(kinds[i]) << input << expected[i];
    }
}

void addColumns()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected");
}

QString text(const char* s)
{
    return QString::fromUtf8(s);
}

} // namespace

class TestSqlDialect : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void translate_data()
    {
        addColumns();
        const QVariant names = text("Select top 3 [ragione sociale] from [tabella pratiche] where x='[a]'");
        addPerDialect("names and top",
            { text("Select [ragione sociale] from [tabella pratiche] where x='[a]' LIMIT 3"),
                text("Select \"ragione sociale\" from \"tabella pratiche\" where x='[a]' LIMIT 3"), names },
            names);
        const QVariant quoted = text("select \"[x]\", [A\"b] from t");
        addPerDialect("quote inside a name", { quoted, text("select \"[x]\", \"a\"\"b\" from t"), quoted }, quoted);
        const QVariant unclosed = text("select [a from t");
        addPerDialect("unclosed bracket", { unclosed, unclosed, unclosed }, unclosed);
    }
    void translate()
    {
        QFETCH(int, kind);
        QFETCH(QVariant, input);
        QFETCH(QVariant, expected);
        QCOMPARE(SqlDialect::create(Kind(kind))->translate(input.toString()), expected.toString());
    }

    // The text forms written by hand: COPY's, and JSON read back as it was.
    void writtenText_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("copy"); // null: a value COPY is never given, JSON only
        const QString tricky = QStringLiteral("a\\b\tc\nd\re \"q\" \u0001 \u00e8\u20ac");
        QTest::newRow("text to escape") << QVariant(tricky)
                                        << QByteArray("a\\\\b\\tc\\nd\\re \"q\" \x01 \xc3\xa8\xe2\x82\xac");
        QTest::newRow("plain text") << QVariant(QStringLiteral("Via Roma 1")) << QByteArray("Via Roma 1");
        QTest::newRow("plain text to escape")
            << QVariant(QStringLiteral("a\\b\tc\r\n")) << QByteArray("a\\\\b\\tc\\r\\n");
        QTest::newRow("long text to escape") << QVariant(QStringLiteral("x").repeated(300) + QStringLiteral("\t"))
                                             << QByteArray(QByteArray("x").repeated(300) + "\\t");
        QTest::newRow("negative integer") << QVariant(-42) << QByteArray("-42");
        QTest::newRow("empty text") << QVariant(QString(QLatin1String(""))) << QByteArray("");
        QTest::newRow("null") << QVariant() << QByteArray("\\N");
        QTest::newRow("large integer") << QVariant(qlonglong(9007199254740993LL)) << QByteArray("9007199254740993");
        QTest::newRow("negative fraction") << QVariant(-0.1) << QByteArray("-0.1");
        QTest::newRow("fraction of seventeen digits") << QVariant(0.1 + 0.2) << QByteArray("0.30000000000000004");
        QTest::newRow("small number") << QVariant(1.5e-7) << QByteArray("1.5e-07");
        QTest::newRow("date") << QVariant(QDate(2009, 12, 31)) << QByteArray("2009-12-31");
        QTest::newRow("bool") << QVariant(true) << QByteArray("t");
        QTest::newRow("amount") << QVariant::fromValue(Currency::fromDecimalText(QStringLiteral("-1234.5")))
                                << QByteArray();
        QTest::newRow("missing date") << QVariant(QMetaType::fromType<QDate>()) << QByteArray("\\N");
        QTest::newRow("date past year 9999") << QVariant(QDate(12345, 1, 2)) << QByteArray();
    }
    void writtenText()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, copy);
        QByteArray copied;
        SqlDialect::copyValue(&copied, value);
        if (!copy.isNull()) {
            QCOMPARE(copied, copy);
        }
        const QJsonValue json = QJsonValue::fromVariant(value);
        QByteArray written("[");
        appendJsonValue(&written, json);
        written.append(']');
        QJsonParseError parsed;
        const QJsonDocument doc = QJsonDocument::fromJson(written, &parsed);
        QVERIFY2(parsed.error == QJsonParseError::NoError, written.constData());
        QCOMPARE(doc.array().at(0), json);
        // The register writes its values straight, as the JSON of its own form of them.
        QByteArray registered;
        ImportRegister::appendFieldValue(&registered, value);
        QByteArray expected;
        appendJsonValue(&expected, ImportRegister::fieldValue(value));
        QCOMPARE(registered, expected);
    }

    // What is bound for a field of each type: the value's storage form and the typed NULL.
    void storage_data()
    {
        addColumns();
        const QDate day(2021, 3, 5);
        addPerDialect("date", { text("2021-03-05"), day, day }, day);
        addPerDialect(
            "date of an early year", { text("0999-01-02"), QDate(999, 1, 2), QDate(999, 1, 2) }, QDate(999, 1, 2));
        const Currency amount = Currency::fromDecimalText(QStringLiteral("-1234.5"));
        addPerDialect("amount", { -1234.5, text("-1234.5"), -1234.5 }, QVariant::fromValue(amount));
        const QVariant nullText = QVariant(QMetaType::fromType<QString>());
        const QVariant nullDouble = QVariant(QMetaType::fromType<double>());
        const QVariant nullDate = QVariant(QMetaType::fromType<QDate>());
        addPerDialect("missing date", { nullText, nullDate, nullDate }, QMetaType(QMetaType::QDate).id());
        addPerDialect("missing amount", { nullDouble, nullText, nullDouble }, qMetaTypeId<Currency>());
        const QVariant nullNumber = QVariant(QMetaType::fromType<qlonglong>());
        addPerDialect("missing number", { nullNumber, nullNumber, nullNumber }, QMetaType(QMetaType::LongLong).id());
        addPerDialect("missing text", { nullText, nullText, nullText }, QMetaType(QMetaType::QString).id());
    }
    void storage()
    {
        QFETCH(int, kind);
        QFETCH(QVariant, input);
        QFETCH(QVariant, expected);
        const auto dialect = SqlDialect::create(Kind(kind));
        FieldType type = FieldType::Text;
        QVariant value = input;
        if (input.typeId() == QMetaType::Int) {
            // A missing value of the type named by its id.
            const int id = input.toInt();
            type = id == QMetaType::QDate       ? FieldType::Date
                : id == qMetaTypeId<Currency>() ? FieldType::Currency
                : id == QMetaType::LongLong     ? FieldType::Integer
                                                : FieldType::Text;
            value = QVariant();
        } else if (input.typeId() == QMetaType::QDate) {
            type = FieldType::Date;
        } else {
            type = FieldType::Currency;
        }
        const QVariant got = FieldCodec::toStorage(type, value, *dialect);
        QCOMPARE(got.metaType(), expected.metaType());
        QCOMPARE(got.isNull(), expected.isNull());
        QCOMPARE(got, expected);
    }

    void columnType_data()
    {
        addColumns();
        addPerDialect("key",
            { text("INTEGER PRIMARY KEY AUTOINCREMENT"), text("serial PRIMARY KEY"), text("COUNTER PRIMARY KEY") },
            int(FieldType::Key));
        addPerDialect("text", { text("TEXT"), text("varchar(20)"), text("TEXT(20)") }, int(FieldType::Text));
        addPerDialect("memo", { text("TEXT"), text("TEXT"), text("MEMO") }, int(FieldType::Memo));
        addPerDialect("date", { text("DATE"), text("date"), text("DATETIME") }, int(FieldType::Date));
        addPerDialect(
            "amount", { text("CURRENCY"), text("numeric(19,4)"), text("CURRENCY") }, int(FieldType::Currency));
        addPerDialect("double", { text("REAL"), text("double precision"), text("DOUBLE") }, int(FieldType::Double));
    }
    void columnType()
    {
        QFETCH(int, kind);
        QFETCH(QVariant, input);
        QFETCH(QVariant, expected);
        const FieldDef field { QStringLiteral("f"), FieldType(input.toInt()), 20 };
        QCOMPARE(SqlDialect::create(Kind(kind))->columnType(field), expected.toString());
    }

    // The statements around a line of writes and an INSERT's key: "|" between statements, "-"
    // where the dialect has no savepoints.
    void transactionText_data()
    {
        addColumns();
        addPerDialect("next savepoint",
            { text("RELEASE SAVEPOINT zb32_line|SAVEPOINT zb32_line"),
                text("RELEASE SAVEPOINT zb32_line; SAVEPOINT zb32_line"), text("-") },
            text("savepoint"));
        addPerDialect("new key", { text(""), text(" RETURNING \"contatore\""), text("") }, text("key"));
        addPerDialect("creates tables", { true, true, false }, text("tables"));
    }
    void transactionText()
    {
        QFETCH(int, kind);
        QFETCH(QVariant, input);
        QFETCH(QVariant, expected);
        const auto d = SqlDialect::create(Kind(kind));
        const QString what = input.toString();
        if (what == QLatin1String("savepoint")) {
            QCOMPARE(d->hasSavepoints() ? d->nextSavepoint(QStringLiteral("zb32_line")).join(QLatin1Char('|'))
                                        : QStringLiteral("-"),
                expected.toString());
        } else if (what == QLatin1String("key")) {
            QCOMPARE(d->returningKey(QStringLiteral("Contatore")), expected.toString());
        } else {
            QCOMPARE(d->createsTables(), expected.toBool());
        }
    }

    // A text set on a field is stored as a text, an empty one too; only a missing value is NULL.
    void emptyAndMissingText_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("storedNull");
        QTest::newRow("null QString") << QVariant(QString()) << false;
        QTest::newRow("empty text") << QVariant(QStringLiteral("")) << false;
        QTest::newRow("blank") << QVariant(QStringLiteral(" ")) << false;
        QTest::newRow("missing") << QVariant() << true;
        QTest::newRow("typed null") << QVariant(QMetaType::fromType<QString>()) << true;
    }
    void emptyAndMissingText()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, storedNull);
        QVariant converted;
        QString error;
        QVERIFY(FieldCodec::convert(FieldType::Text, QStringLiteral("periodo"), value, &converted, &error));
        const auto d = SqlDialect::create(Kind::SQLite);
        const QVariant bound = FieldCodec::toStorage(FieldType::Text, converted, *d);
        // QtSql binds a null QString as NULL, so a stored text must not be one.
        QCOMPARE(bound.isNull() || bound.toString().isNull(), storedNull);
        if (!storedNull) {
            QCOMPARE(bound.toString(), value.toString());
            QVERIFY(!FieldCodec::parameter(value).toString().isNull());
        }
    }
};

QTEST_GUILESS_MAIN(TestSqlDialect)
#include "TestSqlDialect.moc"
