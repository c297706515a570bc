#pragma once

#include <boost/json/value.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <string>

class ClassServer;

// A small blocking HTTPS client for the class server's tests: it trusts exactly the server's
// certificate (as the trainee's program pins it), keeps its connection alive, and can send raw
// bytes, so a test can be the hostile client too. Every wait is bounded.
class HttpsClient {
public:
    using Timeout = std::chrono::milliseconds;

    struct Response {
        int status = 0;                             // 0: no response (see error)
        std::string error;                          // why there was none
        std::map<std::string, std::string> headers; // names in lower case
        std::string body;

        boost::json::value json() const;         // null when the body is no JSON
        std::string text(const char* key) const; // a string member of the body, "" for none
        std::string errorCode() const { return text("error"); }
    };

    HttpsClient(int port, const std::string& certificatePem);   // on 127.0.0.1
    explicit HttpsClient(const ClassServer& server, int i = 0); // to its daemon i
    ~HttpsClient();

    // One request over the kept-alive connection, made anew when there is none.
    Response post(const std::string& target, const boost::json::value& body);
    Response get(const std::string& target, Timeout timeout = Timeout(10000));
    // The API's calls as a trainee's program makes them.
    Response start(const std::string& sitting, const std::string& code,
                   const std::string& host = "pc-01", const std::string& trainee = "Ученик");
    Response question(const std::string& token, int record);
    Response answer(const std::string& token, int record, int option, double seconds = 4.5);

    // The raw side: a TLS connection, bytes as they are, the response that follows.
    bool connect(Timeout timeout = Timeout(10000));
    bool sendRaw(const std::string& bytes, Timeout timeout = Timeout(10000));
    Response readResponse(Timeout timeout = Timeout(10000));
    Response exchange(const std::string& bytes); // sendRaw, then readResponse
    // A request written out by hand, with Host, a JSON Content-Type and Content-Length.
    static std::string compose(const std::string& method, const std::string& target,
                               const std::string& body = {}, const std::string& headers = {},
                               const std::string& host = "127.0.0.1");
    // True when the server closes the connection within `timeout` (whatever it sent before).
    bool closedWithin(Timeout timeout);

private:
    Response request(const std::string& method, const std::string& target, const std::string& body,
                     Timeout timeout);
    struct Impl;
    std::unique_ptr<Impl> m;
};
