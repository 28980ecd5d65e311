// Table definitions and their creation; the column types are the dialect's.
#include "core/desk/Schema.h"

#include "core/desk/CaseDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace zb32::Schema {

namespace {

FieldDef text(const char* name, int length)
{
    return { QString::fromUtf8(name), FieldType::Text, length };
}
FieldDef typed(const char* name, FieldType type)
{
    return { QString::fromUtf8(name), type, 0 };
}

QList<TableDef> buildTables()
{
    using F = FieldType;
    TableDef cases { kCases, QStringLiteral("contatore"), {} };
    cases.fields = {
        typed("contatore", F::Key),
        text("posizione", 50),
        text("Tipo Mandato", 255),
        typed("data Affido", F::Date),
        typed("scadenza mandato", F::Date),
        text("Tipo Intervento", 10),
        text("Situazione Affido", 10),
        typed("lottoimportazione", F::Integer),
        text("ragione sociale", 100),
        text("Indirizzo", 100),
        text("Cap", 10),
        text("Citta", 50),
        text("Provincia", 4),
        text("P_iva", 20),
        text("telefono1", 30),
        text("telefono2", 30),
        text("recapito", 100),
        typed("data nascita", F::Date),
        text("luogo nascita", 50),
        text("altroriferimento", 50),
        text("Assignment_id", 20),
        typed("memo", F::Memo),
        typed("memoec", F::Memo),
        typed("RATE ARRETRATE", F::Integer),
        typed("importo rata", F::Currency),
        typed("importo interessi", F::Currency),
        typed("importo spese", F::Currency),
        typed("importo speserecupero", F::Currency),
        typed("importo totale", F::Currency),
        typed("totale incassato", F::Currency),
        text("codice esattore", 20),
        text("codice esattore2", 20),
        text("DataModificaDaEsattori", 10),
        typed("modificadaesattori", F::Integer),
    };
    TableDef invoices { kInvoices, QStringLiteral("ID"), {} };
    invoices.fields = {
        typed("ID", F::Key),
        typed("conta", F::Integer),
        text("numero fattura", 50),
        text("periodo", 50),
        typed("data FATTURA", F::Date),
        typed("data scadenza", F::Date),
        typed("saldo", F::Currency),
    };
    TableDef payments { kPayments, QStringLiteral("ID"), {} };
    payments.fields = {
        typed("ID", F::Key),
        typed("conta", F::Integer),
        typed("data", F::Date),
        typed("datascarico", F::Date),
        typed("dataricevuta", F::Date),
        text("causale", 255),
        typed("totale", F::Currency),
        typed("capitale", F::Currency),
        typed("interesse", F::Currency),
        typed("spese", F::Currency),
        typed("speserecupero", F::Currency),
        text("codesattore", 20),
        text("MODO", 10),
    };
    for (const char* group : { "AL_E_", "AL_A_" }) {
        for (int i = 1; i <= 5; ++i) {
            payments.fields.append({ QString::fromUtf8(group) + QString::number(i), F::Double, 0 });
        }
    }
    TableDef rates { kRates, QStringLiteral("ID"), {} };
    rates.fields = {
        typed("ID", F::Key),
        text("COD_AGENT", 20),
        text("codice cliente", 255),
        text("modalita", 10),
        typed("AL1", F::Double),
        typed("AL2", F::Double),
        typed("AL3", F::Double),
        typed("AL4", F::Double),
        typed("AL FISSA", F::Double),
    };
    return { cases, invoices, payments, rates };
}

struct IndexDef
{
    const char* name;
    QString table;
    QStringList fields;
};

} // namespace

const QList<TableDef>& tables()
{
    static const QList<TableDef> all = buildTables();
    return all;
}

const QList<TableDef>& registerTables()
{
    using F = FieldType;
    static const QList<TableDef> all = {
        { kImportRuns, QStringLiteral("id"),
            {
                typed("id", F::Key),
                text("lavoro", 20),
                typed("nome file", F::Memo),
                typed("dimensione", F::Double),
                text("sha256", 64),
                // The batch boxes as typed, whatever their length.
                typed("data affido", F::Memo),
                typed("scadenza", F::Memo),
                typed("intervento", F::Memo),
                typed("lotto", F::Memo),
                typed("mandato", F::Memo),
                typed("sit aff", F::Memo),
                text("postazione", 255),
                text("utente", 255),
                typed("processo", F::Integer),
                text("inizio", 19),
                text("ultimo salvataggio", 19),
                text("fine", 19),
                text("stato", 20),
                // "nuova", "di nuovo" (a file imported before, on purpose) or "ripresa" (after
                // the last line an earlier run saved); the earlier run it follows.
                text("modo", 20),
                typed("corsa precedente", F::Integer),
                typed("righe lette", F::Integer),
                typed("ultima riga salvata", F::Integer),
                typed("clienti", F::Integer),
                typed("fatture", F::Integer),
                typed("pagamenti", F::Integer),
                typed("lettere", F::Integer),
                typed("messaggio", F::Memo),
                // When, where and by whom a run was taken back (its state is then "annullata").
                typed("annullamento", F::Memo),
            } },
        { kImportRecords, QStringLiteral("id"),
            {
                typed("id", F::Key),
                typed("importazione", F::Integer),
                text("tabella", 64),
                typed("chiave", F::Integer),
                // Null for a record the run created; for one it changed, the fields it wrote
                // with their values before and after (JSON objects).
                typed("valori precedenti", F::Memo),
                typed("valori scritti", F::Memo),
                // For records the run created: the last of the consecutive keys from `chiave`
                // that the row stands for (null: `chiave` alone).
                typed("chiave fine", F::Integer),
            } },
    };
    return all;
}

const TableDef* table(const QString& name)
{
    for (const QList<TableDef>* list : { &tables(), &registerTables() }) {
        for (const TableDef& t : *list) {
            if (t.name.compare(name, Qt::CaseInsensitive) == 0) {
                return &t;
            }
        }
    }
    return nullptr;
}

const FieldDef* field(const TableDef& table, const QString& name)
{
    for (const FieldDef& f : table.fields) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) {
            return &f;
        }
    }
    return nullptr;
}

namespace {

bool createTables(
    CaseDatabase& db, const QList<const QList<TableDef>*>& lists, bool indexesOfNewTablesOnly, QString* error)
{
    const SqlDialect& d = db.dialect();
    if (!d.createsTables()) {
        if (error) {
            *error = QStringLiteral("la creazione delle tabelle non è prevista per i database Access");
        }
        return false;
    }
    const QStringList existing = db.tableNames();
    auto exists = [&](const QString& name) {
        for (const QString& t : existing) {
            if (t.compare(name, Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
        return false;
    };
    QStringList statements;
    QStringList created; // the tables of the lists, whose indexes are made where missing
    for (const QList<TableDef>* list : lists) {
        for (const TableDef& t : *list) {
            if (exists(t.name)) {
                if (list == &registerTables()) {
                    // The register is the desk's own: a table of an earlier version gets the
                    // columns added since. The collection system's tables are never altered.
                    const QSqlDatabase sql = db.database();
                    const QSqlRecord present = sql.record(d.storedTableName(sql, t.name));
                    for (const FieldDef& f : t.fields) {
                        if (present.indexOf(f.name) < 0 && present.indexOf(f.name.toLower()) < 0) {
                            statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                              .arg(d.quoteName(t.name), d.quoteName(f.name), d.columnType(f));
                        }
                    }
                }
                if (!indexesOfNewTablesOnly) {
                    created << t.name;
                }
                continue;
            }
            created << t.name;
            QStringList cols;
            for (const FieldDef& f : t.fields) {
                cols << d.quoteName(f.name) + QLatin1Char(' ') + d.columnType(f);
            }
            statements << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                              .arg(d.quoteName(t.name), cols.join(QStringLiteral(", ")));
        }
    }
    const QList<IndexDef> indexes = {
        { "ix_pratiche_posizione", kCases, { QStringLiteral("posizione"), QStringLiteral("Tipo Mandato") } },
        { "ix_pratiche_lotto", kCases, { QStringLiteral("lottoimportazione") } },
        { "ix_fatture_conta", kInvoices, { QStringLiteral("conta") } },
        { "ix_pagamenti_conta", kPayments, { QStringLiteral("conta"), QStringLiteral("dataricevuta") } },
        { "ix_aliquote_agente", kRates,
            { QStringLiteral("COD_AGENT"), QStringLiteral("codice cliente"), QStringLiteral("modalita") } },
        { "ix_importazioni_sha256", kImportRuns, { QStringLiteral("sha256"), QStringLiteral("lavoro") } },
        { "ix_importazioni_record", kImportRecords, { QStringLiteral("importazione") } },
        { "ix_importazioni_stato", kImportRuns, { QStringLiteral("stato") } },
    };
    for (const IndexDef& ix : indexes) {
        if (!created.contains(ix.table)) {
            continue;
        }
        QStringList cols;
        for (const QString& c : ix.fields) {
            cols << d.quoteName(c);
        }
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                          .arg(QString::fromUtf8(ix.name), d.quoteName(ix.table), cols.join(QStringLiteral(", ")));
    }
    for (const QString& sql : statements) {
        QSqlQuery q(db.database());
        if (!q.exec(sql)) {
            if (error) {
                *error = QStringLiteral("%1: %2").arg(sql, q.lastError().text());
            }
            return false;
        }
    }
    return true;
}

} // namespace

bool create(CaseDatabase& db, QString* error)
{
    return createTables(db, { &tables(), &registerTables() }, false, error);
}

QStringList missingColumns(CaseDatabase& db)
{
    QStringList missing;
    const QSqlDatabase sql = db.database();
    for (const TableDef& t : tables()) {
        const QSqlRecord present = sql.record(db.dialect().storedTableName(sql, t.name));
        if (present.isEmpty()) {
            continue;
        }
        for (const FieldDef& f : t.fields) {
            if (present.indexOf(f.name) < 0 && present.indexOf(f.name.toLower()) < 0) {
                missing << QStringLiteral("%1.%2").arg(t.name, f.name);
            }
        }
    }
    return missing;
}

bool createRegister(CaseDatabase& db, QString* error)
{
    // Every job calls this: the server is not asked to make indexes that are there already.
    return createTables(db, { &registerTables() }, true, error);
}

} // namespace zb32::Schema
