// The print file read back: files the letter run wrote read clean (or with the faults their
// cases have), damaged copies reported at their lines, amounts, and the template filled in.
#include "PostelFixture.h"
#include "core/desk/Cp1252.h"
#include "core/letters/LetterText.h"
#include "core/letters/PostelReader.h"
#include "core/letters/PostelWriter.h"

#include <QBuffer>
#include <QTest>

using namespace zb32;

namespace {

Currency amount(const char* text)
{
    bool ok = false;
    const Currency c = Currency::fromItalianText(QString::fromLatin1(text), &ok);
    if (!ok) {
        qFatal("bad amount %s", text);
    }
    return c;
}

PostelInvoice invoice(const char* number, int month, const char* saldo)
{
    PostelInvoice f;
    f.numeroFattura = QString::fromLatin1(number);
    f.dataFattura = QDate(2024, month, 10);
    f.saldo = amount(saldo);
    f.periodo = QStringLiteral("%1/2024").arg(month, 2, 10, QLatin1Char('0'));
    f.dataScadenza = QDate(2024, month + 1, 10);
    return f;
}

// Three letters as the letter run writes them: one, two and three invoices.
QStringList sampleFile(bool slips)
{
    struct Debtor
    {
        const char* name;
        const char* street;
        const char* total;
        QList<PostelInvoice> invoices;
    };
    const Debtor debtors[] = {
        { "ROSSI MARIO", "VIA ROMA 1", "100,00", { invoice("F1", 1, "100") } },
        { "BIANCHI ANNA", "VIA APPIA 2", "1.300,50", { invoice("F2", 2, "200"), invoice("F3", 3, "1.100,5") } },
        { "VERDI LUIGI", "PIAZZA VERDI 3", "60,00",
            { invoice("F4", 4, "10"), invoice("F5", 5, "20"), invoice("F6", 6, "30") } },
    };
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PostelWriter writer(&buffer);
    writer.writeHeader();
    writer.writeTemplate(QDate(2026, 12, 7));
    for (const Debtor& d : debtors) {
        PostelCase c;
        c.tipoMandato = QStringLiteral("DODAD");
        c.ragioneSociale = QString::fromLatin1(d.name);
        c.indirizzo = QString::fromLatin1(d.street);
        c.cap = QStringLiteral("00100");
        c.citta = QStringLiteral("ROMA");
        c.provincia = QStringLiteral("RM");
        c.altroriferimento = QStringLiteral("CTR-") + c.ragioneSociale.left(5);
        c.assignmentId = QStringLiteral("CL-") + c.ragioneSociale.left(5);
        c.importoTotale = amount(d.total);
        writer.writeLetter(c, d.invoices, slips);
    }
    writer.writeEnd(3);
    writer.flush();
    QStringList lines = Cp1252::decode(buffer.data()).split(QStringLiteral("\r\n"));
    lines.removeLast();
    return lines;
}

PostelCheck checkLines(const QStringList& lines)
{
    QByteArray bytes = Cp1252::encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    PostelReader reader(&buffer);
    reader.readHeader();
    reader.readToEnd();
    return reader.check();
}

QStringList problemsOf(const PostelCheck& check)
{
    QStringList out;
    for (const PostelProblem& p : check.problems) {
        out << QStringLiteral("%1:%2").arg(p.line).arg(p.text);
    }
    return out;
}

// Each expected "LINE:text" is met by a problem of that line that starts with the text.
void compareProblems(const QStringList& actual, const QStringList& expected)
{
    QVERIFY2(actual.size() == expected.size(), qPrintable(actual.join(QLatin1Char('\n'))));
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QVERIFY2(
            actual[i].startsWith(expected[i]), qPrintable(actual[i] + QStringLiteral("\nexpected ") + expected[i]));
    }
}

} // namespace

class TestPostelReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The files the letter run wrote for the fixture's batch (compared byte for byte by its
    // tests): the cases with a null postcode, town or street are the faults found.
    void filesOfTheLetterRun_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("letters");
        QTest::addColumn<int>("slips");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("batch with slips")
            << "lotto1_cc" << 5 << 8 << "237.339,89"
            << QStringList { "182:lettera 4 (VERDI LUIGI): CAP mancante", "182:lettera 4 (VERDI LUIGI): città vuota",
                   "216:lettera 5 (NERI SPA): indirizzo vuoto" };
        QTest::newRow("batch without slips")
            << "lotto1_senza_cc" << 5 << 0 << "237.339,89"
            << QStringList { "91:lettera 4 (VERDI LUIGI): CAP mancante", "91:lettera 4 (VERDI LUIGI): città vuota",
                   "102:lettera 5 (NERI SPA): indirizzo vuoto" };
        QTest::newRow("no case") << "vuoto" << 0 << 0 << "0,00" << QStringList {};
        QTest::newRow("test case") << "prova" << 1 << 3 << "235.789,89" << QStringList {};
    }
    void filesOfTheLetterRun()
    {
        QFETCH(QString, name);
        QFETCH(int, letters);
        QFETCH(int, slips);
        QFETCH(QString, total);
        QFETCH(QStringList, problems);
        QByteArray bytes = test::expectedPrintFile(name);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        PostelReader reader(&buffer);
        reader.readHeader();
        QCOMPARE(reader.templateLines().size(), PostelWriter::kTemplateLines - 1);
        QCOMPARE(reader.contact().value(3), PostelWriter::kAgencyEmail);
        reader.readToEnd();
        const PostelCheck& check = reader.check();
        QCOMPARE(check.letters, qint64(letters));
        QCOMPARE(check.slips, qint64(slips));
        QCOMPARE(check.total.toGroupedText(1), total);
        compareProblems(problemsOf(check), problems);
        QCOMPARE(check.problemCount, qint64(problems.size()));
    }

    // What a letter gives back, field by field, from the file with slips.
    void letterAsRead_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QStringList>("address");
        QTest::addColumn<QStringList>("items"); // @I01..@I09
        QTest::addColumn<QStringList>("firstSlip"); // fattura, amount, periodo, scadenza, rif., nome, account, code
        QTest::addColumn<int>("slips");
        QTest::newRow("name cut to 35, street in full")
            << 2
            << QStringList { "CONDOMINIO VIALE DEI CASTELLI ROMAN [DODAD]",
                   "VIALE DEI CASTELLI ROMANI 145 SCALA B INTERNO 7 PRESSO AMMINISTRAZIONE BIANCHI", "00047 MARINO RM" }
            << QStringList { "CTR000000002", "CL0002", "F2020/118", "15/03/2020", "    950,00", "", "", "",
                   "    950,00" }
            << QStringList { "F2020/118", "950,00", "01/2020", "15/04/2020", "CTR0000000",
                   "CONDOMINIO VIALE DEI CASTELLI", "47152086", "<01/2020>00000950+00>47152086<896>" }
            << 1;
        QTest::newRow("three invoices, two named")
            << 3 << QStringList { "BIANCHI ANNA [DODAD]", "PIAZZA GARIBALDI 3", "04100 LATINA LT" }
            << QStringList { "CTR0003", "CL0003", "F2021/100", "10/01/2021", "  1.234,50", "NC2021/30", "10/03/2021",
                   "    -12,50", "235.789,89" }
            << QStringList { "F2021/100", "1.234,50", "01/2021", "10/02/2021", "CTR0003", "BIANCHI ANNA", "47152086",
                   "<01/2021>0001.234+50>47152086<896>" }
            << 3;
        QTest::newRow("nulls: no mandate type, no postcode, town or invoice data")
            << 4 << QStringList { "VERDI LUIGI []", "VIA ROMA 1", "" }
            << QStringList { "", "", "", "", "      0,00", "", "", "", "      0,00" }
            << QStringList { "", "0,00", "", "", "", "VERDI LUIGI", "47152086", "<>00000000+00>47152086<896>" } << 1;
    }
    void letterAsRead()
    {
        QFETCH(int, number);
        QFETCH(QStringList, address);
        QFETCH(QStringList, items);
        QFETCH(QStringList, firstSlip);
        QFETCH(int, slips);
        QByteArray bytes = test::expectedPrintFile(QStringLiteral("lotto1_cc"));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        PostelReader reader(&buffer);
        reader.readHeader();
        PostelLetter letter;
        for (int i = 0; i < number; ++i) {
            QVERIFY(reader.next(&letter));
        }
        QCOMPARE(letter.number, qint64(number));
        QCOMPARE(letter.addressLines(), address);
        QStringList read(letter.items.begin(), letter.items.end());
        QCOMPARE(read, items);
        QCOMPARE(letter.slips.size(), qsizetype(slips));
        const PostelSlip& s = letter.slips.first();
        QCOMPARE((QStringList {
                     s.fattura, s.amount.trimmed(), s.periodo, s.scadenza, s.riferimento, s.nome, s.account, s.code }),
            firstSlip);
    }

    // A copy of a clean file with one thing broken: the problem at its line, and nothing else.
    // The edit finds the `occurrence`-th line starting with `at`, removes `remove` lines there
    // (or every line up to the next one starting with `removeUntil`) and puts `insert` in their
    // place; expected lines count from the edit's first line.
    void damagedCopies_data()
    {
        QTest::addColumn<bool>("slips");
        QTest::addColumn<QString>("at");
        QTest::addColumn<int>("occurrence");
        QTest::addColumn<int>("remove");
        QTest::addColumn<QString>("removeUntil");
        QTest::addColumn<QStringList>("insert");
        QTest::addColumn<QStringList>("problems"); // "OFFSET:text"
        const QString blanks35(35, QLatin1Char(' '));
        QTest::newRow("clean, with slips") << true << "" << 0 << 0 << "" << QStringList {} << QStringList {};
        QTest::newRow("clean, without slips") << false << "" << 0 << 0 << "" << QStringList {} << QStringList {};
        QTest::newRow("a block cut off")
            << true << "@I06" << 2 << 0 << "@A" << QStringList {}
            << QStringList { "0:lettera 2 (BIANCHI ANNA): il blocco si interrompe: mancano i dati @I06-@I09",
                   "0:lettera 2 (BIANCHI ANNA): mancano i bollettini (@T)" };
        QTest::newRow("a wrong end count")
            << true << "@E" << 1 << 1 << "" << QStringList { "@E4" }
            << QStringList { "0:il record finale indica 4 lettere, ma il file ne contiene 3" };
        QTest::newRow("no end record") << false << "@E" << 1 << 1 << "" << QStringList {}
                                       << QStringList { "0:manca il record finale @E: il file è incompleto" };
        QTest::newRow("lines after the end record") << false << "@E" << 1 << 1 << "" << QStringList { "@E3", "@AALTRO" }
                                                    << QStringList { "1:righe dopo il record finale @E" };
        QTest::newRow("an empty address") << true << "VIA ROMA 1" << 1 << 1 << "" << QStringList { "" }
                                          << QStringList { "0:lettera 1 (ROSSI MARIO): indirizzo vuoto" };
        QTest::newRow("an empty name") << false << "@AROSSI" << 1 << 1 << ""
                                       << QStringList { "@A" + blanks35 + " [DODAD]" }
                                       << QStringList { "0:lettera 1: nome vuoto" };
        QTest::newRow("no postcode, no town")
            << false << "00100 ROMA" << 2 << 1 << "" << QStringList { blanks35 + " RM" }
            << QStringList { "0:lettera 2 (BIANCHI ANNA): CAP mancante", "0:lettera 2 (BIANCHI ANNA): città vuota" };
        QTest::newRow("address lines lost") << false << "VIA APPIA 2" << 1 << 2 << "" << QStringList {}
                                            << QStringList { "0:lettera 2 (BIANCHI ANNA): mancano l'indirizzo" };
        QTest::newRow("a bad invoice amount")
            << false << "@I05" << 2 << 1 << "" << QStringList { "@I05    2O0,00" }
            << QStringList { "0:lettera 2 (BIANCHI ANNA): importo non valido in @I05" };
        QTest::newRow("an amount not grouped")
            << false << "@I09" << 1 << 1 << "" << QStringList { "@I09  1000,00" }
            << QStringList { "0:lettera 1 (ROSSI MARIO): importo totale non valido" };
        QTest::newRow("an invoice without amount")
            << false << "@I08" << 2 << 1 << "" << QStringList { "@I08" }
            << QStringList { "0:lettera 2 (BIANCHI ANNA): importo non valido in @I08" };
        QTest::newRow("a bad date") << false << "@I04" << 1 << 1 << "" << QStringList { "@I0431/02/2024" }
                                    << QStringList { "0:lettera 1 (ROSSI MARIO): data non valida in @I04" };
        QTest::newRow("an item missing") << false << "@I02" << 1 << 1 << "" << QStringList {}
                                         << QStringList { "0:lettera 1 (ROSSI MARIO): manca il dato @I02" };
        QTest::newRow("a stray line") << false << "@ABIANCHI" << 1 << 0 << "" << QStringList { "testo fuori posto" }
                                      << QStringList { "0:lettera 1 (ROSSI MARIO): riga inattesa fra i dati" };
        QTest::newRow("a slip missing") << true << "!NEW" << 1 << 22 << "" << QStringList {}
                                        << QStringList { "-1:lettera 1 (ROSSI MARIO): 0 bollettini per 1 fatture" };
        QTest::newRow("a slip for another amount")
            << true << "@-@?34" << 2 << 1 << "" << QStringList { "@-@?34     999,00@?50     999,00@+" }
            << QStringList { "-1:lettera 2 (BIANCHI ANNA): il bollettino 1 (fattura \"F2\", 999,00) non corrisponde" };
        QTest::newRow("a slip's two amounts differ")
            << true << "@-@?34" << 1 << 1 << "" << QStringList { "@-@?34     100,00@?50     100,01@+" }
            << QStringList { "0:lettera 1 (ROSSI MARIO): il bollettino 1 porta due importi diversi" };
        QTest::newRow("a slip page cut short")
            << true << "@+@?51<" << 1 << 1 << "" << QStringList {}
            << QStringList { "-21:lettera 1 (ROSSI MARIO): il bollettino 1 ha 14 righe" };
        QTest::newRow("a header record missing")
            << true << "//C " << 1 << 1 << "" << QStringList {} << QStringList { "4:manca il record di controllo //C" };
        QTest::newRow("an unknown placeholder")
            << true << "Cod.Cliente" << 1 << 1 << "" << QStringList { "Cod.Cliente : @12" }
            << QStringList { "0:segnaposto @12 sconosciuto" };
        QTest::newRow("a control character stops the reading")
            << true << "VIA APPIA 2" << 1 << 1 << ""
            << QStringList { "VIA\x01"
                             "APPIA 2" }
            << QStringList { "0:la riga contiene il carattere di controllo 0x01" };
    }
    void damagedCopies()
    {
        QFETCH(bool, slips);
        QFETCH(QString, at);
        QFETCH(int, occurrence);
        QFETCH(int, remove);
        QFETCH(QString, removeUntil);
        QFETCH(QStringList, insert);
        QFETCH(QStringList, problems);
        QStringList lines = sampleFile(slips);
        qsizetype edit = 0;
        if (!at.isEmpty()) {
            int seen = 0;
            edit = -1;
            for (qsizetype i = 0; i < lines.size() && edit < 0; ++i) {
                if (lines[i].startsWith(at) && ++seen == occurrence) {
                    edit = i;
                }
            }
            QVERIFY2(edit >= 0, qPrintable(at));
            qsizetype end = edit + remove;
            if (!removeUntil.isEmpty()) {
                end = edit;
                while (end < lines.size() && !lines[end].startsWith(removeUntil)) {
                    ++end;
                }
            }
            lines.remove(edit, end - edit);
            for (qsizetype i = 0; i < insert.size(); ++i) {
                lines.insert(edit + i, insert[i]);
            }
        }
        QStringList expected;
        for (const QString& p : problems) {
            const qsizetype colon = p.indexOf(QLatin1Char(':'));
            expected << QStringLiteral("%1:%2").arg(edit + 1 + p.left(colon).toInt()).arg(p.mid(colon + 1));
        }
        const PostelCheck check = checkLines(lines);
        compareProblems(problemsOf(check), expected);
        // Reading stops at a control character, inside the second letter.
        QCOMPARE(check.letters, qint64(QByteArray(QTest::currentDataTag()).startsWith("a control") ? 2 : 3));
        if (at.isEmpty()) {
            QCOMPARE(check.slips, qint64(slips ? 6 : 0));
            QCOMPARE(check.total.toGroupedText(1), QStringLiteral("1.460,50"));
        }
    }

    void readAmount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("value");
        QTest::newRow("padded") << "    950,00" << true << "950";
        QTest::newRow("thousands") << "  1.234,50" << true << "1234.5";
        QTest::newRow("millions cut by FormSoldi") << "235.789,89" << true << "235789.89";
        QTest::newRow("negative") << "    -12,50" << true << "-12.5";
        QTest::newRow("below one") << "      0,05" << true << "0.05";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("blanks") << "          " << false << "";
        QTest::newRow("no grouping") << "   1234,50" << false << "";
        QTest::newRow("short group") << "   1.23,50" << false << "";
        QTest::newRow("one decimal") << "     12,5" << false << "";
        QTest::newRow("decimal point") << "    950.00" << false << "";
        QTest::newRow("letter") << "    95O,00" << false << "";
        QTest::newRow("trailing blank") << "   950,00 " << false << "";
        QTest::newRow("no integer digit") << "       ,50" << false << "";
    }
    void readAmount()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, value);
        Currency c;
        QCOMPARE(PostelReader::readAmount(text, &c), ok);
        if (ok) {
            QCOMPARE(c.toDecimalText(), value);
        }
    }

    void fillLetter_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("kind"); // text, commands, amount
        QTest::addColumn<QString>("text"); // strong parts in [ ]
        QTest::addColumn<QString>("amount"); // commands joined by "|"
        QTest::addColumn<bool>("filled");
        QTest::addColumn<int>("indent");
        const QStringList items { "CTR1", "CL1", "F1", "10/01/2024", "    100,00", "", "", "", "  1.300,50" };
        QTest::newRow("placeholder and accent") << "N° contratto: @01" << items << "text"
                                                << "N° contratto: CTR1"
                                                << "" << true << 0;
        QTest::newRow("invoice row") << "Fatt. n. @O@03@o del @O@04@o di  @L: @O@05@o" << items << "amount"
                                     << "Fatt. n. [F1] del [10/01/2024] di"
                                     << "100,00" << true << 0;
        QTest::newRow("invoice the letter lacks") << "Fatt. n. @O@06@o del @O@07@o di  @L: @O@08@o" << items << "amount"
                                                  << "Fatt. n.  del  di"
                                                  << "" << false << 0;
        QTest::newRow("total") << "Totale    @L: @O@09@o" << items << "amount"
                               << "Totale"
                               << "1.300,50" << true << 0;
        QTest::newRow("commands") << "!SPA -100;SPA 19" << items << "commands"
                                  << ""
                                  << "SPA -100|SPA 19" << true << 0;
        QTest::newRow("signature indented") << QString(53, QLatin1Char(' ')) + "Corvat Services Spa" << items << "text"
                                            << "Corvat Services Spa"
                                            << "" << true << 53;
        QTest::newRow("slip escapes taken out, a plain @ kept") << "@>@+@?5201/2024@<@- a@b" << items << "text"
                                                                << "01/2024 a@b"
                                                                << "" << true << 0;
        QTest::newRow("empty value of a text line") << "Cod.Cliente : @02" << QStringList(9) << "text"
                                                    << "Cod.Cliente : "
                                                    << "" << false << 0;
    }
    void fillLetter()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, items);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, amount);
        QFETCH(bool, filled);
        QFETCH(int, indent);
        PostelLetter letter;
        for (int i = 0; i < 9; ++i) {
            letter.items[static_cast<size_t>(i)] = items.value(i);
        }
        const QList<LetterLine> lines = zb32::fillLetter({ line }, letter);
        QCOMPARE(lines.size(), 1);
        const LetterLine& l = lines.first();
        const char* kinds[] = { "text", "commands", "amount" };
        QCOMPARE(QString::fromLatin1(kinds[static_cast<int>(l.kind)]), kind);
        QString shown;
        for (const LetterRun& r : l.runs) {
            shown += r.strong ? QLatin1Char('[') + r.text + QLatin1Char(']') : r.text;
        }
        QCOMPARE(shown, text);
        QCOMPARE(l.kind == LetterLine::Kind::Commands ? l.commands.join(QLatin1Char('|')) : l.amount, amount);
        QCOMPARE(l.filled, filled);
        QCOMPARE(l.indent, indent);
    }
};

QTEST_GUILESS_MAIN(TestPostelReader)
#include "TestPostelReader.moc"
