// Write batching over the case database's transactions.
#include "core/desk/WriteBatch.h"

#include "core/desk/CaseDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace zb32 {

namespace {
const QString kSavepoint = QStringLiteral("zb32_line");
const QString kUnitSavepoint = QStringLiteral("zb32_unit");

// At most this many groups in one (WriteBatch::kGroupsJoined). ZB32_GROUPS_JOINED=1 keeps every
// group apart, so two runs of a file end their groups at the same lines whatever the machine's
// load (tests that aim a refusal at a group's edge learn the edges from a run before).
int groupsJoined()
{
    static const int joined = [] {
        bool ok = false;
        const int fromEnv = qEnvironmentVariableIntValue("ZB32_GROUPS_JOINED", &ok);
        return ok && fromEnv >= 1 ? fromEnv : WriteBatch::kGroupsJoined;
    }();
    return joined;
}
} // namespace

struct WriteBatch::Flight
{
    SqlDialect::BehindGroup group;
    qint64 lastLine = 0;
    std::atomic<bool> finished { false };
    Sender* sender = nullptr; // while it is on its way
    bool sending = false; // under the sender's lock

    void wait();
    ~Flight() { wait(); }
};

// The thread the groups go behind on, one for the batch's life: a group at a time. A flight's
// end is told through the sender's own lock and condition, which outlive every flight.
struct WriteBatch::Sender
{
    Sender()
        : thread([this] { serve(); })
    { }
    ~Sender()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_one();
        thread.join();
    }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void send(Flight* f, std::function<void()> work)
    {
        {
            const std::lock_guard lock(mutex);
            f->sender = this;
            f->sending = true;
            flight = f;
            job = std::move(work);
        }
        wake.notify_one();
    }

    void waitFor(const Flight* f)
    {
        std::unique_lock lock(mutex);
        ended.wait(lock, [f] { return !f->sending; });
    }

    void serve()
    {
        for (;;) {
            Flight* f = nullptr;
            std::function<void()> work;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping || flight; });
                if (!flight) {
                    return;
                }
                std::swap(f, flight);
                std::swap(work, job);
            }
            work();
            {
                const std::lock_guard lock(mutex);
                f->finished.store(true, std::memory_order_release);
                f->sending = false;
            }
            ended.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable ended;
    Flight* flight = nullptr;
    std::function<void()> job;
    bool stopping = false;
    std::thread thread; // last: it starts once the rest is there
};

void WriteBatch::Flight::wait()
{
    if (sender) {
        sender->waitFor(this);
    }
}

WriteBatch::WriteBatch(CaseDatabase& db, int linesPerCommit)
    : m_db(db)
    , m_linesPerCommit(linesPerCommit)
{ }

WriteBatch::~WriteBatch()
{
    if (m_inLine) {
        abandonLine();
    }
    QString ignored;
    finish(&ignored);
    setGroupWrites(false);
}

void WriteBatch::setRollbackGroups(bool rollback)
{
    m_rollbackGroups = rollback;
    if (m_writes) {
        m_writes->setCollecting(rollback);
    }
}

void WriteBatch::setGroupWrites(bool on)
{
    const SqlDialect::Kind kind = m_db.dialect().kind();
    if (on && !m_writes && (kind == SqlDialect::Kind::PostgreSQL || kind == SqlDialect::Kind::SQLite)) {
        m_writes = std::make_unique<GroupWrites>(m_db);
        // A check goes on past a refused line, so every line the database would refuse is found.
        m_writes->setCollecting(m_rollbackGroups);
        m_db.setGroupWrites(m_writes.get(), [this](QString* error) { return sendGroup(error); });
        // A group sent behind ends before the connection is used for anything else.
        m_db.setBeforeUse([this] {
            if (m_flight) {
                m_flight->wait();
            }
        });
        m_writes->setBeforeKeys([this](bool reserving, QString* error) { return beforeKeys(reserving, error); });
    } else if (!on && m_writes) {
        QString ignored;
        settle(&ignored);
        m_db.setBeforeUse({});
        m_db.setGroupWrites(nullptr);
        m_writes.reset();
    }
}

bool WriteBatch::commitsBehind() const
{
    const SqlDialect::Kind kind = m_db.dialect().kind();
    return m_behindWanted && !m_behindOff && m_writes && !m_rollbackGroups && !m_sharedRecords
        && (kind == SqlDialect::Kind::PostgreSQL || kind == SqlDialect::Kind::SQLite);
}

bool WriteBatch::beforeKeys(bool reserving, QString* error)
{
    if (!settle(error)) {
        return false;
    }
    if (m_db.dialect().kind() != SqlDialect::Kind::SQLite) {
        return true;
    }
    if (!reserving) {
        // Keys that cannot be reserved are counted inside the group's own write lock, held until
        // its commit: from here on groups are committed as they end.
        m_behindOff = true;
    }
    m_writes->setReservingKeys(commitsBehind());
    if (!commitsBehind()) {
        m_groupOpen = false;
    }
    // SQLite hands out keys inside the write lock: the group's transaction is begun now.
    if (!m_db.inTransaction()) {
        if (!beginTransaction(error)) {
            return false;
        }
        m_groupClock.start();
    }
    return true;
}

bool WriteBatch::sendInsertsBehind(QString* error, bool* sent)
{
    // The group's transaction (begun when its first keys were reserved, or now) gets the keys the
    // next lines will take, then the group's savepoint and the register's part; its INSERTs and
    // its commit go from the other thread.
    if (!m_db.inTransaction() && !beginTransaction(error)) {
        return false;
    }
    auto flight = std::make_unique<Flight>();
    m_groupOpen = false;
    if (!m_writes->takeInsertsForBehind(&flight->group)) {
        return true; // committed as the group ends
    }
    flight->lastLine = m_lastKeptLine;
    if (!m_writes->stockKeys(error) || !m_db.exec(m_db.dialect().savepoint(m_writes->behindSavepoint()), error)) {
        loseTransaction();
        return false;
    }
    if (m_listener && !m_listener->groupCommitting(m_lastKeptLine, &flight->group.withCommit, error)) {
        loseTransaction();
        return false;
    }
    return fly(std::move(flight), error, sent);
}

bool WriteBatch::fly(std::unique_ptr<Flight> flight, QString* error, bool* sent)
{
    QSqlDatabase db = m_db.database();
    std::function<void()> send = m_db.dialect().behind(db, &flight->group);
    if (!send) {
        if (error) {
            *error = SqlDialect::closedConnection();
        }
        loseTransaction();
        return false;
    }
    if (!m_sender) {
        m_sender = std::make_unique<Sender>();
    }
    m_sender->send(flight.get(), std::move(send));
    m_flight = std::move(flight);
    *sent = true;
    return true;
}

bool WriteBatch::sendBehind(QString* error, bool* sent, bool due)
{
    *sent = false;
    const bool sqlite = m_db.dialect().kind() == SqlDialect::Kind::SQLite;
    // SQLite's group has lines while the one before is (or was) on its way.
    const bool behindAnother = sqlite && m_flight && m_groupOpen && commitsBehind();
    if (due && behindAnother && !m_flight->finished.load(std::memory_order_acquire)
        && m_groupsJoined + 1 < groupsJoined()) {
        // The one before is still on its way: the lines go on into the next group, read while
        // it is written, rather than waiting for it.
        ++m_groupsJoined;
        *sent = true;
        return true;
    }
    m_groupsJoined = 0;
    // One group at a time: the one before has its answer first.
    if (!settle(error)) {
        return false;
    }
    if (!commitsBehind()) {
        return true; // that one went wrong and was mended: this group is committed as it ends
    }
    if (!m_groupOpen) {
        *sent = true; // no line since the last group
        return true;
    }
    if (sqlite) {
        return sendInsertsBehind(error, sent);
    }
    QList<SqlDialect::CopyBlock> blocks;
    if (!m_writes->takeForBehind(&blocks)) {
        // Records that were there before are changed: the group is written as it is otherwise.
        m_groupOpen = false;
        return beginTransaction(error);
    }
    // The keys the next lines will want are fetched while the connection is free.
    if (!m_writes->stockKeys(error)) {
        loseTransaction();
        return false;
    }
    auto flight = std::make_unique<Flight>();
    flight->lastLine = m_lastKeptLine;
    flight->group.opening = m_writes->behindOpening(&flight->group.openingStatements);
    flight->group.blocks = std::move(blocks);
    m_groupOpen = false;
    // What goes with the commit (the run's row in the register) is made now, as the group ends.
    if (m_listener && !m_listener->groupCommitting(m_lastKeptLine, &flight->group.withCommit, error)) {
        loseTransaction();
        return false;
    }
    return fly(std::move(flight), error, sent);
}

bool WriteBatch::settle(QString* error)
{
    if (!m_flight) {
        return true;
    }
    const std::unique_ptr<Flight> flight = std::move(m_flight);
    flight->wait();
    const SqlDialect::BehindGroup& g = flight->group;
    if (g.committed) {
        m_db.endedElsewhere();
        m_writes->clearBehind();
        committedUpTo(flight->lastLine, true);
        return true;
    }
    // From here on every group is committed as it ends.
    m_behindOff = true;
    if (error) {
        *error = g.error;
    }
    // (The connection's state, not a statement: the transaction may stand refused.)
    if (g.connectionLost) {
        // A commit sent without an answer may have been made: the group's lines are named as unknown.
        if (g.commitSent) {
            m_uncertainLine = flight->lastLine;
        }
        loseTransaction();
        return false;
    }
    if (g.copied || g.done > 0) {
        m_db.adoptTransaction(); // its BEGIN went through
    }
    if (!g.copied && g.done >= g.openingStatements) {
        // A COPY refused: the transaction stands at the group's savepoint.
        return replayBehind(flight->lastLine, error);
    }
    // The transaction could not be opened, or its commit was refused: nothing of the group stays.
    loseTransaction();
    m_lost = g.copied; // a refused commit ends the batch as a lost one does
    return false;
}

bool WriteBatch::replayBehind(qint64 lastLine, QString* error)
{
    GroupWrites::Refusal refusal;
    QString why;
    switch (m_writes->replayBehind(&why, &refusal)) {
    case GroupWrites::Outcome::Lost:
        if (error && !why.isEmpty()) {
            *error = why;
        }
        loseTransaction();
        return false;
    case GroupWrites::Outcome::Refused:
        stopAtRefusal(refusal);
        if (error) {
            *error = refusal.error;
        }
        return false;
    case GroupWrites::Outcome::Sent:
        break;
    }
    // Line by line nothing was refused: the group is committed now, and the lines read since go
    // on in a transaction of their own.
    const qint64 kept = std::exchange(m_lastKeptLine, lastLine);
    SqlDialect::Statement withCommit;
    const bool committed
        = (!m_listener || m_listener->groupCommitting(lastLine, &withCommit, error)) && m_db.commit(error, withCommit);
    m_lastKeptLine = kept;
    if (!committed) {
        if (!m_db.isAlive()) {
            m_uncertainLine = lastLine;
        }
        loseTransaction();
        return false;
    }
    committedUpTo(lastLine, true);
    m_writes->resumeLater();
    if (m_groupOpen) {
        m_groupOpen = false;
        if (!beginTransaction(error)) {
            return false;
        }
        m_groupClock.start();
    }
    return true;
}

bool WriteBatch::sendGroup(QString* error)
{
    if (!m_writes || m_refused || m_lost) {
        return !m_lost;
    }
    if (m_groupOpen) {
        // A statement wants the writes of a group that was to be sent behind, before the group
        // ends: its transaction is begun here, and from now on groups are committed as they end.
        if (!settle(error)) {
            return false;
        }
        m_behindOff = true;
        m_groupOpen = false;
        if (!beginTransaction(error)) {
            return false;
        }
    }
    GroupWrites::Refusal refusal;
    switch (m_writes->send(error, &refusal)) {
    case GroupWrites::Outcome::Sent:
        return true;
    case GroupWrites::Outcome::Lost:
        loseTransaction();
        return false;
    case GroupWrites::Outcome::Refused:
        break;
    }
    stopAtRefusal(refusal);
    return false;
}

void WriteBatch::committedUpTo(qint64 lastLine, bool tell)
{
    m_lastCommittedLine = lastLine;
    ++m_commitCount;
    if (m_listener && tell) {
        m_listener->groupCommitted(lastLine);
    }
}

bool WriteBatch::beginTransaction(QString* error)
{
    const bool begins = !m_db.inTransaction();
    if (!m_db.beginTransaction(error, m_sharedRecords)) {
        // A server that went away right after the last commit is first met here.
        m_lost = !m_db.isAlive();
        m_failed = true;
        return false;
    }
    if (begins && m_writes) {
        m_writes->transactionBegun();
    }
    return true;
}

void WriteBatch::stopAtRefusal(const GroupWrites::Refusal& refusal)
{
    // The lines before the refused one's case stay, to be committed; nothing more is written.
    m_refused = true;
    m_refusal = refusal;
    m_refusedCut = refusal.cut;
    m_lastKeptLine = m_refusedCut - 1;
    m_inLine = false;
    m_unitOpen = false;
    m_unitWanted = false;
    m_groupOpen = false;
    m_writes->setAccepting(false);
}

bool WriteBatch::runLineStatement(const QString& sql, QString* error)
{
    // These run for every input line: where the driver prepares transaction statements they are
    // prepared once; elsewhere they go as plain text.
    if (!m_db.dialect().preparesLineStatements()) {
        return m_db.exec(sql, error);
    }
    QSqlQuery* q = m_db.statement(sql, error);
    if (!q) {
        return false;
    }
    const bool ok = q->exec();
    if (!ok && error) {
        *error = q->lastError().text();
    }
    q->finish();
    return ok;
}

void WriteBatch::loseTransaction()
{
    // A group sent behind may have been committed: its answer is taken first.
    if (m_flight) {
        QString ignored;
        settle(&ignored);
    }
    // The transaction itself is gone (the server went away): nothing since the last commit stays.
    if (m_writes) {
        m_writes->setAccepting(false);
        m_writes->clear();
    }
    m_db.rollback();
    m_lost = true;
    m_failed = true;
    m_savepointHeld = false;
    m_groupOpen = false;
}

bool WriteBatch::beginLine(QString* error, qint64 lineNumber)
{
    if (lineNumber >= 0) {
        m_currentLine = lineNumber;
    }
    if (m_failed || m_refused) {
        if (error) {
            *error
                = m_refused ? m_refusal.error : QStringLiteral("le scritture sul database sono già state interrotte");
        }
        return false;
    }
    // The answer of a group sent behind is taken as soon as it is there.
    if (m_flight && m_flight->finished.load(std::memory_order_acquire) && !settle(error)) {
        return false;
    }
    if (m_writes && m_db.dialect().kind() == SqlDialect::Kind::SQLite) {
        m_writes->setReservingKeys(commitsBehind());
    }
    if (commitsBehind()) {
        // The group's transaction is begun as it is sent.
        if (!m_groupOpen) {
            m_groupOpen = true;
            m_groupClock.start();
        }
    } else {
        if (!m_db.inTransaction()) {
            m_savepointHeld = false; // committed or rolled back since: its savepoints are gone
        }
        const bool began = !m_db.inTransaction();
        if (!beginTransaction(error)) {
            return false;
        }
        if (began) {
            m_groupClock.start();
        }
    }
    if (m_writes) {
        // No savepoints: the line's held writes are simply dropped when it is taken back.
        if (m_unitWanted) {
            m_unitWanted = false;
            m_unitOpen = true;
            m_unitMark = m_writes->size();
        }
        m_writes->setLine(m_currentLine, m_unitOpen ? m_unitFirstLine : 0, std::max(m_currentLine, m_readLine));
        m_lineMark = m_writes->size();
        m_writes->setAccepting(true);
        m_inLine = true;
        return true;
    }
    if (m_unitWanted) {
        m_unitWanted = false;
        m_unitOpen = true;
        // The line savepoint held from the line before goes first: releasing it later would
        // release the unit's savepoint, made after it, as well.
        if (m_db.supportsSavepoints()
            && ((m_savepointHeld && !runLineStatement(m_db.dialect().releaseSavepoint(kSavepoint), error))
                || !runLineStatement(m_db.dialect().savepoint(kUnitSavepoint), error))) {
            loseTransaction();
            return false;
        }
        m_savepointHeld = false;
    }
    if (m_db.supportsSavepoints()) {
        // The savepoint of the line before is released only now: on a server that is one round
        // trip per line instead of two. A commit releases it as well.
        const SqlDialect& d = m_db.dialect();
        const QStringList statements
            = m_savepointHeld ? d.nextSavepoint(kSavepoint) : QStringList { d.savepoint(kSavepoint) };
        bool ok = true;
        for (const QString& sql : statements) {
            ok = ok && runLineStatement(sql, error);
        }
        if (!ok) {
            // Inside an open transaction this fails only when the transaction is gone.
            loseTransaction();
            return false;
        }
        m_savepointHeld = true;
    }
    m_inLine = true;
    return true;
}

bool WriteBatch::endLine(QString* error, Commit commit)
{
    if (!m_inLine) {
        return true;
    }
    m_inLine = false;
    if (m_writes) {
        m_writes->setAccepting(false);
    }
    m_lastKeptLine = m_currentLine;
    if (++m_linesInGroup >= m_linesPerCommit && commit == Commit::WhenDue && !m_unitOpen) {
        return commitGroup(error, true);
    }
    return true;
}

void WriteBatch::abandonLine()
{
    if (!m_inLine) {
        return;
    }
    m_inLine = false;
    if (m_writes) {
        m_writes->setAccepting(false);
        // A line stops on the server's silence as it would on a refused statement; a group sent
        // behind has its answer first.
        QString ignored;
        if (!m_writes->takeBack(m_lineMark) || (settle(&ignored) && !m_db.isAlive())) {
            loseTransaction();
        }
        return;
    }
    if (m_db.supportsSavepoints()) {
        m_savepointHeld = false;
        QString ignored;
        const SqlDialect& d = m_db.dialect();
        if (!m_db.exec(d.rollbackToSavepoint(kSavepoint), &ignored)
            || !m_db.exec(d.releaseSavepoint(kSavepoint), &ignored)) {
            loseTransaction();
        }
    }
}

bool WriteBatch::endUnit(QString* error, Commit commit)
{
    m_unitWanted = false;
    if (!m_unitOpen) {
        return true;
    }
    m_unitOpen = false;
    if (m_db.supportsSavepoints() && !m_lost && !m_writes) {
        // Releasing the unit releases the savepoint of its last line too.
        m_savepointHeld = false;
        if (!runLineStatement(m_db.dialect().releaseSavepoint(kUnitSavepoint), error)) {
            loseTransaction();
            return false;
        }
    }
    if (m_linesInGroup >= m_linesPerCommit && commit == Commit::WhenDue) {
        return commitGroup(error, true);
    }
    return true;
}

void WriteBatch::abandonUnit()
{
    if (m_inLine) {
        abandonLine();
    }
    if (m_refused) {
        m_unitWanted = m_unitOpen = false; // the refusal has taken back what follows its case
        return;
    }
    if (m_unitWanted || m_unitOpen) {
        m_abandonedUnitLine = m_unitFirstLine;
    }
    m_unitWanted = false;
    if (!m_unitOpen) {
        return;
    }
    m_unitOpen = false;
    if (m_lost || (!m_db.inTransaction() && !m_groupOpen)) {
        return;
    }
    if (m_writes) {
        // A check still tries the case's writes, so a refused one is listed beside the bad line.
        if (!(m_rollbackGroups ? m_writes->setAside(m_unitMark) : m_writes->takeBack(m_unitMark))) {
            loseTransaction();
        }
    } else if (m_db.supportsSavepoints()) {
        m_savepointHeld = false;
        QString ignored;
        const SqlDialect& d = m_db.dialect();
        if (!m_db.exec(d.rollbackToSavepoint(kUnitSavepoint), &ignored)
            || !m_db.exec(d.releaseSavepoint(kUnitSavepoint), &ignored)) {
            loseTransaction();
        }
    } else {
        loseTransaction(); // without savepoints the unit goes with everything since the last commit
    }
    // The lines of the unit are not kept.
    m_lastKeptLine = m_unitFirstLine - 1;
}

bool WriteBatch::finish(QString* error)
{
    if (m_unitOpen || m_unitWanted) {
        abandonUnit(); // a unit not ended is not whole
    }
    if (m_inLine && !endLine(error)) {
        return false;
    }
    if (!commitGroup(error) || !settle(error)) {
        return false;
    }
    giveBackKeys();
    return true;
}

void WriteBatch::giveBackKeys()
{
    // The keys reserved for lines that did not come go back to the counters, in a transaction of
    // their own once everything is committed (a run that stopped gives them back too). A key not
    // given back is only a gap in the numbering, so nothing of this fails the run.
    if (m_failed || !m_writes || !m_writes->holdsReservedKeys()) {
        return;
    }
    QString ignored;
    if (!m_db.beginTransaction(&ignored)) {
        return;
    }
    if (!m_writes->returnKeys(&ignored) || !m_db.commit(&ignored)) {
        m_db.rollback();
    }
}

bool WriteBatch::commitGroup(QString* error, bool due)
{
    m_linesInGroup = 0;
    m_savepointHeld = false;
    if (m_lost) {
        if (error && error->isEmpty()) {
            *error = QStringLiteral("la transazione in corso è andata persa");
        }
        return false;
    }
    if (commitsBehind()) {
        bool sent = false;
        if (!sendBehind(error, &sent, due)) {
            return false;
        }
        if (sent) {
            return true;
        }
    }
    const bool open = m_db.inTransaction(); // a group that never began commits nothing
    if (m_rollbackGroups) {
        if (open && m_writes) {
            if (!sendGroup(error)) {
                return false;
            }
            if (m_writes->tryAside(error) != GroupWrites::Outcome::Sent) {
                loseTransaction();
                return false;
            }
            if (m_listener) {
                m_listener->linesRefused(m_lastKeptLine, m_writes->takeRefusals());
            }
            m_writes->clear();
        }
        if (open) {
            m_db.rollback();
            // A desk waiting for SQLite's write lock keeps waiting only while the holder commits;
            // a check never does, so it leaves the lock free for a while after each group for a
            // waiting desk to take it (a quarter of the time it held it: the check stays within
            // a run's time).
            if (m_db.dialect().kind() == SqlDialect::Kind::SQLite) {
                QThread::msleep(static_cast<unsigned long>(std::max<qint64>(1, m_groupClock.elapsed() / 4)));
            }
        }
        m_lastCommittedLine = m_lastKeptLine;
        if (m_listener && open) {
            m_listener->groupCommitted(m_lastCommittedLine);
        }
        return true;
    }
    if (open && !sendGroup(error)) {
        return false;
    }
    SqlDialect::Statement withCommit;
    if (m_listener && open && !m_listener->groupCommitting(m_lastKeptLine, &withCommit, error)) {
        loseTransaction();
        return false;
    }
    const bool committed = m_db.commit(error, withCommit);
    if (m_writes) {
        m_writes->clear();
    }
    if (!committed) {
        m_lost = true;
        m_failed = true;
        // A server that went away while committing may have made the commit before it went:
        // nobody can tell until it is back, so the lines of the group are named as unknown. A file
        // database is always there.
        if (!m_db.isAlive()) {
            m_uncertainLine = m_lastKeptLine;
        }
        return false;
    }
    committedUpTo(m_lastKeptLine, open);
    return true;
}

QString WriteBatch::stopReason(const QString& reason) const
{
    if (!m_failed) {
        return reason;
    }
    if (m_uncertainLine > m_lastCommittedLine) {
        return QStringLiteral("%1 (connessione con il database interrotta durante il salvataggio: le righe "
                              "dalla %2 alla %3 potrebbero essere state salvate o no, va controllato nel database; "
                              "le righe dalla %4 in poi non sono state salvate)")
            .arg(reason)
            .arg(m_lastCommittedLine + 1)
            .arg(m_uncertainLine)
            .arg(m_uncertainLine + 1);
    }
    if (m_lastCommittedLine + 1 >= m_currentLine) {
        return reason;
    }
    if (m_lost) {
        // A file database has no connection to lose: its transaction was ended by the database
        // itself (a full disk, a write that failed).
        return (m_db.dialect().kind() == SqlDialect::Kind::SQLite
                ? QStringLiteral("%1 (la transazione è stata annullata dal database: le righe dalla %2 in "
                                 "poi non sono state salvate)")
                : QStringLiteral("%1 (connessione con il database interrotta: le righe dalla %2 in poi "
                                 "non sono state salvate)"))
            .arg(reason)
            .arg(m_lastCommittedLine + 1);
    }
    return QStringLiteral("%1 (le righe dalla %2 in poi non sono state salvate)")
        .arg(reason)
        .arg(m_lastCommittedLine + 1);
}

} // namespace zb32
