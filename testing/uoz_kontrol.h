#pragma once

#include "dialogs.h"
#include "form.h"
#include "journal.h"
#include "protocol_buffer.h"
#include "replies.h"
#include "run_state.h"
#include "runjob.h"

#include <QColor>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class DataSource;
class Error;
class DBEdit;
class DBImage;
class DBMemo;
class QAction;
class QLabel;
class QLineEdit;
class QMenuBar;
class Timer;
class TraineeCodeForm;

// The test window: opens a bank, puts its questions to the trainee one at a time with a
// countdown, scores the answers and writes the run's protocol.
class TuozKontrol : public Form {
    Q_OBJECT
public:
    explicit TuozKontrol(QWidget* parent = nullptr);
    ~TuozKontrol() override;

    // The data module is created after this window; start-up binds the controls then.
    void bindDataSource(DataSource* source);
    // The sign-in window was closed without a sign-in: come back, with no run to open.
    void signInAbandoned();

    QMenuBar* MainMenu1;
    QAction* N1; // "Файл"
    QAction* N8; // "Открыть БД"
    QAction* N9; // "Закрыть БД"
    QAction* N7; // separator
    QAction* N5; // "Выход"
    QAction* N2; // "Настройки"
    QAction* N3; // "Время"
    QAction* N4; // "Пользователь"

    QLineEdit* Edit1; // status line
    DBMemo* DBMemo1;
    DBImage* DBImage1;
    QLabel* Label8;
    QLineEdit* Edit3; // seconds left, as shown
    QLabel* Label9;
    QLabel* Label10;
    QLineEdit* Edit2; // clock
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    DBMemo* DBMemo_Otv1;
    DBMemo* DBMemo_Otv2;
    DBMemo* DBMemo_Otv3;
    DBMemo* DBMemo_Otv4;
    DBEdit* PrOtvet;
    QLineEdit* Edit4; // allowed seconds of the run
    const std::unique_ptr<ProtocolBuffer> Memo1 = std::make_unique<ProtocolBuffer>();
    dialogs::FileDialog OpenDialog1{dialogs::FileDialog::Open};
    // Asks for the trainee's code of a server bank file: a window of its own, made with this one
    // as every window is made at start-up.
    TraineeCodeForm* CodeForm;
    Timer* Timer1; // end-of-run check
    Timer* Timer2; // clock
    Timer* Timer3; // countdown
    // The run job of a run on a server bank, nullptr when none (uoz_kontrol_server.cpp).
    RunJob* serverJob() const { return m_job; }
    // True while the window waits for the class server: a start, a question or an answer.
    bool waitsForServer() const { return m_serverWait != ServerWait::None; }
    // Tries again to read the next question while another program holds the bank locked.
    Timer* bankWaitTimer() const { return m_bankWait; }
    // How often, and for how long, the bank is waited for before the run is given up.
    static constexpr int bankWaitIntervalMs = 500;
    static constexpr int bankWaitTries = 60;

    // Handlers.
    void N8Click();
    void N9Click();
    void DBMemo_Otv1Click() { answer(1); }
    void DBMemo_Otv2Click() { answer(2); }
    void DBMemo_Otv3Click() { answer(3); }
    void DBMemo_Otv4Click() { answer(4); }
    void N3Click();
    void N4Click();
    void N5Click();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();

    // The engine.
    void BuildQuestionOrder();
    void ClearQuestionOrder();
    void ShowQuestion();
    void LockQuestion();
    void ScoreRight();
    void ScoreWrong();
    void AdvanceQuestion();
    void TimeOutQuestion();
    void LockRunMenu();
    void ResetRun();
    void FinishRun();

    // The protocol.
    void WriteProtocolHeader();
    void WriteQuestionBlock();
    void WriteTimeOutLines();
    void SaveCompletedProtocol();
    void SaveUnfinishedProtocol();

protected:
    void FormShow() override;
    bool FormCloseQuery() override;
    void FormClose() override;

private:
    void buildMenu();
    void buildControls(QWidget* client);
    void answer(int option);
    void beginRun();
    bool countRecords();
    void setAnswerFieldsEnabled(bool enabled);
    void setStatus(const QString& text, const QColor& colour);
    void saveProtocol(const QString& firstFooterLine, bool unfinished);
    void closeTable();
    QString recordText(const QString& field) const;

    // A run on a server bank (uoz_kontrol_server.cpp): a job of the data module's outbox takes
    // it to the class server, and the window waits on the job's signals, never on the network.
    // The record on screen is filled from the server before it is shown; an answer is recorded
    // there before the window scores it; while the server is away the window waits with the
    // countdown stopped, and "Закрыть БД" ends the run whenever the trainee wants.
    enum class ServerWait { None, Start, Replay, Question, Answer };
    void startServerRun(const QString& path);
    void serverRunStarted(const classclient::RunInfo& run);
    void keepServerRun();
    bool serverQuestionReady();
    bool serverAnswerRecorded(int option);
    bool replayRecorded();
    void finishServerRun(bool completed);
    void serverQuestionArrived(const classclient::Question& q);
    void serverAnswerArrived(const classclient::RecordedAnswer& a);
    void serverWaiting(bool lasting, const QString& reason);
    void serverFailed(const QString& reason);
    void waitForServer(ServerWait what);
    void endServerWait();
    void releaseServerRun();
    // Runs `show` (a notice or a box) so that what the server delivers meanwhile waits for its
    // end: the verdict follows the acknowledgement, never appears over the notice.
    void showAside(const std::function<void()>& show);
    void afterNotice(const std::function<void()>& step);
    QString traineeName(bool forFileName) const;
    std::optional<classjournal::RunEntry> m_kept; // while beginRun() takes a run up again
    QString m_startClock;                         // the clock text of the protocol's start
    double rightAnswerNumber() const;
    // The server's record of the shown question's answer when the sitting hides right answers.
    const classclient::RecordedAnswer* hiddenAnswer() const;
    void scoreHidden(const classclient::RecordedAnswer& a);
    QString resultNotice() const;
    QPointer<RunJob> m_job;
    QString m_serverPath;
    classclient::RunInfo m_serverRun;
    QVector<int> m_replay; // records of a resumed run whose answers the server already has
    QHash<int, classclient::RecordedAnswer> m_recorded;
    ServerWait m_serverWait = ServerWait::None;
    bool m_serverNoticeShown = false;
    int m_noticeDepth = 0;
    std::function<void()> m_afterNotice;
    QString m_journalProblem;
    QString m_statusBeforeWait;
    QColor m_colourBeforeWait;

    // Showing the next question of a bank that may change under the run
    // (uoz_kontrol_present.cpp).
    void presentQuestion();
    bool readQuestion(int lockWaitMs);
    void endRunUnread(const Error& error);
    void waitForBank();
    void bankWaitTick();
    void stopWaitingForBank();

    Timer* m_bankWait;
    int m_bankWaitTries = 0;
};

extern TuozKontrol* uozKontrol;

// The run state of the test window (one for the process).
RunState& runState();
