#include "class_driver.h"

#include "classapi.h"

#include <atomic>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/json.hpp>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace classdriver {
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace json = boost::json;
namespace ssl = asio::ssl;
namespace key = classapi::key;
namespace path = classapi::path;

namespace {

using Clock = std::chrono::steady_clock;
using Stream = beast::ssl_stream<beast::tcp_stream>;
using Executor = asio::strand<asio::io_context::executor_type>;
using Task = asio::awaitable<void>;

constexpr auto requestTimeout = std::chrono::seconds(15);
constexpr int maxAttempts = 8; // for one request refused as busy (429, 503) or cut off
constexpr int reportedFailures = 10;

// A trainee's run cannot go on; says why.
struct Broken {
    std::string why;
};

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

auto withError(beast::error_code& ec) {
    return asio::redirect_error(asio::use_awaitable, ec);
}

// The requests' bodies, made outside the coroutines (GCC 12 cannot keep a braced list in a
// coroutine's frame).
std::string startBody(const Seat& seat, int index) {
    return json::serialize(json::object{{key::sitting, seat.sitting},
                                        {key::code, seat.code},
                                        {key::host, "pc-" + std::to_string(index)},
                                        {key::trainee, "Ученик " + std::to_string(index)}});
}

std::string recordBody(const std::string& token, int record) {
    return json::serialize(json::object{{key::token, token}, {key::record, record}});
}

std::string answerBody(const std::string& token, int record) {
    return json::serialize(json::object{{key::token, token},
                                        {key::record, record},
                                        {key::option, 1 + record % 4},
                                        {key::seconds, 3}});
}

std::string finishBody(const std::string& token) {
    return json::serialize(json::object{{key::token, token}, {key::completed, true}});
}

} // namespace

struct Trainee {
    Trainee(int i, int p, Executor e) : index(i), port(p), executor(std::move(e)) {}

    const int index, port;
    Executor executor; // every step of the trainee runs here, one at a time
    std::unique_ptr<Stream> stream;
    beast::flat_buffer buffer;
    std::string token; // of the run in hand
    int records = 0;
    bool seated = false;
    std::vector<Run> runs; // begun since the last phase ended; the last is in hand
    Phase phase;
};

struct Class::Impl {
    Settings s;
    asio::io_context io;
    ssl::context tls{ssl::context::tls_client};
    std::vector<std::unique_ptr<Trainee>> trainees;
    mutable std::mutex seatLock;
    std::vector<Seat> seats;
    std::size_t nextSeat = 0;
    std::atomic<bool> cutShort{false};
    std::atomic<int> failures{0};

    std::optional<Seat> takeSeat() {
        std::lock_guard lock(seatLock);
        if (nextSeat >= seats.size())
            return std::nullopt;
        return seats[nextSeat++];
    }

    void drop(Trainee& t) {
        if (t.stream) {
            beast::error_code ec;
            beast::get_lowest_layer(*t.stream).socket().close(ec);
        }
        t.stream.reset();
        t.buffer.clear();
    }

    Task pause(Trainee& t, int attempt) {
        asio::steady_timer timer(t.executor, std::chrono::milliseconds(100 * attempt));
        beast::error_code ec;
        co_await timer.async_wait(withError(ec));
    }

    // A TLS connection that trusts the server's certificate alone; "" or why not.
    asio::awaitable<std::string> connect(Trainee& t) {
        t.stream = std::make_unique<Stream>(t.executor, tls);
        t.stream->set_verify_callback(ssl::host_name_verification("127.0.0.1"));
        auto& tcp = beast::get_lowest_layer(*t.stream);
        tcp.expires_after(requestTimeout);
        beast::error_code ec;
        co_await tcp.async_connect(
            {asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(t.port)},
            withError(ec));
        if (!ec)
            co_await t.stream->async_handshake(ssl::stream_base::client, withError(ec));
        if (ec)
            drop(t);
        co_return ec ? "connect: " + ec.message() : std::string();
    }

    // One request on the kept-alive connection; a refusal for a passing reason or a lost
    // connection is tried again (every operation answers a repeat as the first), anything
    // else but 200 breaks the run.
    asio::awaitable<json::object> call(Trainee& t, std::string_view target, std::string body) {
        std::string why;
        for (int attempt = 1; attempt <= maxAttempts && !cutShort; ++attempt) {
            if (!t.stream)
                why = co_await connect(t);
            if (!t.stream) {
                co_await pause(t, attempt);
                continue;
            }
            http::request<http::string_body> req{http::verb::post, target, 11};
            req.set(http::field::host, "127.0.0.1");
            req.set(http::field::content_type, "application/json");
            req.keep_alive(true);
            req.body() = body;
            req.prepare_payload();
            beast::get_lowest_layer(*t.stream).expires_after(requestTimeout);
            beast::error_code ec;
            co_await http::async_write(*t.stream, req, withError(ec));
            http::response<http::string_body> res;
            if (!ec)
                co_await http::async_read(*t.stream, t.buffer, res, withError(ec));
            if (ec) {
                why = std::string(target) + ": " + ec.message();
                drop(t);
                co_await pause(t, attempt);
                continue;
            }
            if (!res.keep_alive())
                drop(t);
            const int status = res.result_int();
            if (classapi::isPassingStatus(status)) {
                why = std::string(target) + ": " + std::to_string(status);
                co_await pause(t, attempt);
                continue;
            }
            if (status != 200)
                throw Broken{std::string(target) + ": " + std::to_string(status) + " " +
                             res.body().substr(0, 300)};
            boost::system::error_code parsed;
            json::value v = json::parse(res.body(), parsed);
            if (parsed || !v.is_object())
                throw Broken{std::string(target) + ": no JSON object in the reply"};
            co_return std::move(v.as_object());
        }
        throw Broken{cutShort ? "cut short by the phase's limit" : why};
    }

    Task startRun(Trainee& t) {
        const std::optional<Seat> seat = takeSeat();
        if (!seat)
            throw Broken{"no code left to start a run with"};
        const json::object reply = co_await call(t, path::startRun, startBody(*seat, t.index));
        t.token = std::string(reply.at(key::token).as_string());
        t.records = int(reply.at(key::records).to_number<std::int64_t>());
        t.runs.push_back({t.token, 0, t.records});
    }

    Task question(Trainee& t, int record) {
        const json::object reply = co_await call(t, path::question, recordBody(t.token, record));
        if (reply.at(key::record).to_number<std::int64_t>() != record)
            throw Broken{"question: another record came"};
    }

    Task answer(Trainee& t, int record, Clock::time_point windowEnd) {
        const json::object reply = co_await call(t, path::answer, answerBody(t.token, record));
        if (reply.at(key::record).to_number<std::int64_t>() != record)
            throw Broken{"answer: another record came"};
        ++t.runs.back().confirmed;
        ++t.phase.confirmed;
        if (Clock::now() <= windowEnd)
            ++t.phase.inWindow;
        if (reply.at(key::repeated).as_bool())
            ++t.phase.repeated;
    }

    Task finish(Trainee& t) { co_await call(t, path::finishRun, finishBody(t.token)); }

    Task seatOne(Trainee& t) {
        t.seated = false;
        co_await startRun(t);
        co_await question(t, 1);
        t.seated = true;
    }

    // One step every paceMs: an answer and the next question (the last: the run's end).
    Task pacedOne(Trainee& t, Clock::time_point start, int paceMs, Clock::time_point deadline) {
        asio::steady_timer timer(t.executor);
        Clock::time_point next =
            start + std::chrono::milliseconds(paceMs > 0 ? (t.index * 7919) % paceMs : 0);
        for (int record = 1; record <= t.records && next < deadline; ++record) {
            timer.expires_at(next);
            beast::error_code ec;
            co_await timer.async_wait(withError(ec));
            next += std::chrono::milliseconds(paceMs);
            const Clock::time_point began = Clock::now();
            co_await answer(t, record, Clock::time_point::max());
            if (record < t.records)
                co_await question(t, record + 1);
            else
                co_await finish(t);
            t.phase.latenciesMs.push_back(msSince(began));
        }
    }

    // Run after run without a pause until the window ends.
    Task flatOne(Trainee& t, Clock::time_point windowEnd) {
        for (int record = 1; Clock::now() < windowEnd;) {
            co_await answer(t, record, windowEnd);
            if (record < t.records) {
                co_await question(t, ++record);
                continue;
            }
            co_await finish(t);
            co_await startRun(t);
            co_await question(t, record = 1);
        }
    }

    void failed(Trainee& t, const std::string& why) {
        ++t.phase.failed;
        if (failures.fetch_add(1) < reportedFailures)
            std::fprintf(stderr, "trainee %d: %s\n", t.index, why.c_str());
    }

    // Runs `body` for every trainee (or every seated one) on the driving threads until all are
    // done; at `limit` the connections still open are closed, which ends every step.
    void runAll(const std::function<Task(Trainee&)>& body, bool seatedOnly,
                Clock::time_point limit) {
        cutShort = false;
        std::atomic<int> active{0};
        asio::steady_timer guard(io, limit);
        for (auto& owned : trainees) {
            Trainee& t = *owned;
            if (seatedOnly && !t.seated)
                continue;
            ++active;
            asio::co_spawn(
                t.executor,
                [this, &t, &body, &active, &guard]() -> Task {
                    try {
                        co_await body(t);
                    } catch (const Broken& b) {
                        failed(t, b.why);
                    } catch (const std::exception& e) {
                        failed(t, e.what());
                    }
                    if (--active == 0)
                        asio::post(io, [&guard] { guard.cancel(); });
                },
                asio::detached);
        }
        if (active == 0)
            guard.cancel();
        guard.async_wait([this](const beast::error_code& ec) {
            if (ec)
                return;
            cutShort = true;
            for (auto& t : trainees)
                asio::post(t->executor, [this, &t = *t] { drop(t); });
        });
        std::vector<std::thread> threads;
        for (int i = 1; i < s.threads; ++i)
            threads.emplace_back([this] { io.run(); });
        io.run();
        for (std::thread& th : threads)
            th.join();
        io.restart();
    }

    // The phase's figures from every trainee; the runs in hand are let go.
    Phase harvest(Clock::time_point start) {
        Phase all;
        all.seconds = msSince(start) / 1000;
        for (auto& t : trainees) {
            Phase& p = t->phase;
            all.latenciesMs.insert(all.latenciesMs.end(), p.latenciesMs.begin(),
                                   p.latenciesMs.end());
            all.confirmed += p.confirmed;
            all.inWindow += p.inWindow;
            all.failed += p.failed;
            all.repeated += p.repeated;
            for (Run& r : t->runs)
                all.runs.push_back(std::move(r));
            t->runs.clear();
            t->phase = Phase();
            t->seated = false;
        }
        return all;
    }
};

Class::Class(Settings settings, std::vector<Seat> seats) : m(std::make_unique<Impl>()) {
    m->s = std::move(settings);
    m->seats = std::move(seats);
    m->tls.set_verify_mode(ssl::verify_peer);
    m->tls.add_certificate_authority(asio::buffer(m->s.certificate));
    for (int i = 0; i < m->s.trainees; ++i)
        m->trainees.push_back(std::make_unique<Trainee>(
            i, m->s.ports[std::size_t(i) % m->s.ports.size()], asio::make_strand(m->io)));
}

Class::~Class() = default;

void Class::addSeats(const std::vector<Seat>& seats) {
    std::lock_guard lock(m->seatLock);
    m->seats.insert(m->seats.end(), seats.begin(), seats.end());
}

int Class::seatsLeft() const {
    std::lock_guard lock(m->seatLock);
    return int(m->seats.size() - m->nextSeat);
}

int Class::seat() {
    m->runAll([this](Trainee& t) { return m->seatOne(t); }, false,
              Clock::now() + std::chrono::seconds(300));
    int seated = 0;
    for (auto& t : m->trainees) {
        seated += t->seated ? 1 : 0;
        t->phase = Phase(); // seating is not what a phase measures; its runs are the phase's
    }
    return seated;
}

Phase Class::paced(int paceMs, int limitSeconds) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(limitSeconds);
    m->runAll([&](Trainee& t) { return m->pacedOne(t, start, paceMs, deadline); }, true,
              deadline + std::chrono::seconds(30));
    Phase p = m->harvest(start);
    for (const Run& r : p.runs)
        p.missing += r.records - r.confirmed;
    return p;
}

Phase Class::flatOut(int seconds, int limitSeconds) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point windowEnd = start + std::chrono::seconds(seconds);
    m->runAll([&](Trainee& t) { return m->flatOne(t, windowEnd); }, true,
              windowEnd + std::chrono::seconds(limitSeconds));
    Phase p = m->harvest(start);
    p.seconds = seconds;
    return p;
}

} // namespace classdriver
