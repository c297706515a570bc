#include "flatout.h"

#include "traineecalls.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <latch>
#include <libpq-fe.h>
#include <memory>
#include <sys/epoll.h>
#include <thread>
#include <unistd.h>

namespace flatout {
namespace {

using Clock = std::chrono::steady_clock;
namespace calls = serverbank::calls;

enum class Step { Start, Question, Answer, Finish, Done };

struct Trainee {
    int index = 0;
    PGconn* conn = nullptr;
    Step step = Step::Start;
    int record = 0;
    int answered = 0; // in the current run
    std::string token;
    PGresult* kept = nullptr; // the call's result, until the call is complete
};

// One thread's share of the class.
class Driver {
public:
    Driver(const Settings& s, int first, int count) : m_s(s) {
        m_trainees.resize(size_t(count));
        for (int i = 0; i < count; ++i)
            m_trainees[size_t(i)].index = first + i;
    }
    ~Driver() {
        for (Trainee& t : m_trainees) {
            PQclear(t.kept);
            PQfinish(t.conn);
        }
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Logging in is not what is measured: it happens before the clock starts. A whole class
    // logging in at once may find the door full, so a login is tried again a little later.
    void connectAll() {
        for (Trainee& t : m_trainees) {
            for (int attempt = 1; attempt <= 10; ++attempt) {
                PQfinish(t.conn);
                t.conn = PQconnectdb(m_s.conninfo.c_str());
                if (PQstatus(t.conn) == CONNECTION_OK)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(200 * attempt));
            }
            if (PQstatus(t.conn) != CONNECTION_OK)
                fail(t, PQerrorMessage(t.conn));
        }
    }

    // Waits on every connection at once through epoll, which wakes with the ready ones alone,
    // where poll would look at the whole share at every wake.
    void drive(Clock::time_point windowEnd, Clock::time_point limit) {
        m_windowEnd = windowEnd;
        const int epoll = epoll_create1(EPOLL_CLOEXEC);
        if (epoll < 0) {
            for (Trainee& t : m_trainees)
                if (t.step != Step::Done)
                    fail(t, "epoll_create1 failed");
            return;
        }
        int active = 0;
        for (Trainee& t : m_trainees) {
            if (t.step == Step::Done)
                continue;
            epoll_event e{};
            e.events = EPOLLIN;
            e.data.ptr = &t;
            if (epoll_ctl(epoll, EPOLL_CTL_ADD, PQsocket(t.conn), &e) != 0) {
                fail(t, "epoll_ctl failed");
                continue;
            }
            send(t);
            if (t.step == Step::Done)
                epoll_ctl(epoll, EPOLL_CTL_DEL, PQsocket(t.conn), nullptr);
            else
                ++active;
        }
        std::vector<epoll_event> ready(64);
        while (active > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now());
            if (left.count() <= 0) {
                for (Trainee& t : m_trainees)
                    if (t.step != Step::Done)
                        fail(t, "no answer within the time limit");
                break;
            }
            const int n = epoll_wait(epoll, ready.data(), int(ready.size()), int(left.count()));
            for (int i = 0; i < n; ++i) {
                Trainee& t = *static_cast<Trainee*>(ready[size_t(i)].data.ptr);
                if (t.step == Step::Done)
                    continue;
                readable(t);
                if (t.step == Step::Done) {
                    epoll_ctl(epoll, EPOLL_CTL_DEL, PQsocket(t.conn), nullptr);
                    --active;
                }
            }
        }
        close(epoll);
    }

    Result result;

private:
    void send(Trainee& t) {
        const std::string record = std::to_string(t.record);
        int sent = 0;
        switch (t.step) {
        case Step::Start: {
            const std::string name = "Ученик " + std::to_string(t.index);
            const std::string host = "pc-" + std::to_string(t.index);
            const char* values[] = {"Класс", name.c_str(), host.c_str(), "35", ","};
            sent =
                PQsendQueryParams(t.conn, calls::startRun, 5, nullptr, values, nullptr, nullptr, 0);
            break;
        }
        case Step::Question: {
            const char* values[] = {t.token.c_str(), record.c_str()};
            sent =
                PQsendQueryParams(t.conn, calls::question, 2, nullptr, values, nullptr, nullptr, 1);
            break;
        }
        case Step::Answer: {
            const std::string option = std::to_string(1 + t.record % 4);
            const char* values[] = {t.token.c_str(), record.c_str(), option.c_str(), "3"};
            sent =
                PQsendQueryParams(t.conn, calls::answer, 4, nullptr, values, nullptr, nullptr, 0);
            break;
        }
        case Step::Finish: {
            const char* values[] = {t.token.c_str(), "true"};
            sent = PQsendQueryParams(t.conn, calls::finishRun, 2, nullptr, values, nullptr, nullptr,
                                     0);
            break;
        }
        case Step::Done:
            return;
        }
        if (!sent)
            fail(t, PQerrorMessage(t.conn));
    }

    void readable(Trainee& t) {
        if (!PQconsumeInput(t.conn)) {
            fail(t, PQerrorMessage(t.conn));
            return;
        }
        while (!PQisBusy(t.conn)) {
            PGresult* r = PQgetResult(t.conn);
            if (!r) { // the call is complete
                PGresult* kept = t.kept;
                t.kept = nullptr;
                received(t, kept);
                PQclear(kept);
                return;
            }
            if (t.kept)
                PQclear(r);
            else
                t.kept = r;
        }
    }

    void received(Trainee& t, PGresult* r) {
        if (!r || PQresultStatus(r) != PGRES_TUPLES_OK || PQntuples(r) != 1) {
            fail(t, r ? PQresultErrorMessage(r) : "no result");
            return;
        }
        switch (t.step) {
        case Step::Start:
            t.token = PQgetvalue(r, 0, 0);
            result.tokens.push_back(t.token);
            t.record = 1;
            t.answered = 0;
            t.step = Step::Question;
            break;
        case Step::Question:
            t.step = Step::Answer;
            break;
        case Step::Answer:
            ++result.confirmed;
            if (Clock::now() <= m_windowEnd)
                ++result.inWindow;
            ++t.answered;
            if (t.record < m_s.questions) {
                ++t.record;
                t.step = Step::Question;
            } else {
                t.step = Step::Finish;
            }
            break;
        case Step::Finish:
            t.step = Step::Start;
            break;
        case Step::Done:
            return;
        }
        // At the window's end a trainee stops where it is: a run broken off by the clock has
        // lost nothing, since only confirmed answers are counted.
        if (Clock::now() >= m_windowEnd)
            t.step = Step::Done;
        else
            send(t);
    }

    void fail(Trainee& t, const char* why) {
        std::string text = why;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        std::fprintf(stderr, "trainee %d: %s\n", t.index, text.c_str());
        ++result.failed;
        if (t.step == Step::Question || t.step == Step::Answer)
            result.missing += m_s.questions - t.answered;
        t.step = Step::Done;
    }

    const Settings& m_s;
    std::vector<Trainee> m_trainees;
    Clock::time_point m_windowEnd;
};

} // namespace

Result run(const Settings& s) {
    const int threads = std::max(1, std::min(s.threads, s.trainees));
    std::vector<std::unique_ptr<Driver>> drivers;
    for (int k = 0; k < threads; ++k) {
        const int first = s.trainees * k / threads;
        drivers.push_back(
            std::make_unique<Driver>(s, first, s.trainees * (k + 1) / threads - first));
    }
    std::latch connected(threads), go(1);
    Clock::time_point windowEnd, limit;
    std::vector<std::thread> pool;
    for (auto& d : drivers)
        pool.emplace_back([&, driver = d.get()] {
            driver->connectAll();
            connected.count_down();
            go.wait();
            driver->drive(windowEnd, limit);
        });
    connected.wait();
    const Clock::time_point start = Clock::now();
    windowEnd = start + std::chrono::seconds(s.seconds); // written before any thread is let go
    limit = windowEnd + std::chrono::seconds(s.limitSeconds);
    go.count_down();
    for (std::thread& t : pool)
        t.join();
    Result all;
    all.seconds = std::chrono::duration<double>(windowEnd - start).count();
    for (auto& d : drivers) {
        all.inWindow += d->result.inWindow;
        all.confirmed += d->result.confirmed;
        all.missing += d->result.missing;
        all.failed += d->result.failed;
        all.tokens.insert(all.tokens.end(), d->result.tokens.begin(), d->result.tokens.end());
    }
    return all;
}

} // namespace flatout
