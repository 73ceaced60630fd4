// Forms answered with the file itself, as a large file's confirm page is:
// by GET or by POST, each with a token good for one request; and a POST
// answered late.
#include "TestHost.h"

#include <httplib.h>

#include <chrono>
#include <optional>
#include <thread>

namespace vardelo {
namespace {

void sendHtml(httplib::Response& response, const std::string& body) {
    response.set_content("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Download"
                         "</title></head><body>" +
                             body + "</body></html>",
                         "text/html; charset=utf-8");
}

void sendExpired(httplib::Response& response) {
    response.status = 410;
    sendHtml(response, "<p>This link has expired.</p>");
}

// A posted field, from a url-encoded body or a multipart one.
std::string postedField(const httplib::Request& request, const char* name) {
    return request.has_file(name) ? request.get_file_value(name).content
                                  : request.get_param_value(name);
}

// What a browser sends for the POST form's page below: its fields, the line
// breaks of its note as CR LF, the pressed button's name and value, the
// page's cookie, and the page as Referer.
bool sentAsTheBrowserSends(const httplib::Request& request, const std::string& token,
                           const std::string& page) {
    return postedField(request, "op") == "download2" &&
           postedField(request, "note") == "első sor\r\nmásodik" &&
           postedField(request, "method_free") == "Ingyenes letöltés" &&
           request.get_header_value("Cookie").find("gsess=" + token) != std::string::npos &&
           request.get_header_value("Referer") == page;
}

} // namespace

std::string TestHost::getFormLinkFor(const std::string& name) const {
    return base() + "/g/" + name;
}

std::string TestHost::postFormLinkFor(const std::string& name) const {
    return base() + "/gp/" + name;
}

std::string TestHost::passwordPostFormLinkFor(const std::string& name) const {
    return base() + "/gw/" + name;
}

std::string TestHost::lateFormLinkFor(const std::string& name) const {
    return base() + "/gl/" + name;
}

void TestHost::routeFormHosts() {
    const auto issueToken = [this](const std::string& name, const char* method) {
        std::lock_guard lock(mutex_);
        const std::string token = "g" + std::to_string(++xfsSerial_);
        formTokens_[token] = {name, method, false};
        return token;
    };
    server_->Get(R"(/g/([^/?]+))", [issueToken](const httplib::Request& request,
                                                httplib::Response& response) {
        const std::string name = request.matches[1];
        sendHtml(response, "<form method=\"get\" action=\"/g/file/" + name +
                               "\"><input type=\"hidden\" name=\"t\" value=\"" +
                               issueToken(name, "GET") +
                               "\"><button id=\"dl\" type=\"submit\">Download</button></form>");
    });
    server_->Get(R"(/g(p|w)/([^/?]+))", [issueToken](const httplib::Request& request,
                                                     httplib::Response& response) {
        const std::string name = request.matches[2];
        const std::string token = issueToken(name, "POST");
        const bool multipart = name.rfind("mp", 0) == 0;
        response.set_header("Set-Cookie", "gsess=" + token + "; Path=/");
        sendHtml(
            response,
            "<h2>" + name +
                " is too large to be scanned</h2><form method=\"post\" action=\"/g/file/" + name +
                "\"" + (multipart ? " enctype=\"multipart/form-data\"" : "") +
                "><input type=\"hidden\" name=\"t\" value=\"" + token +
                "\"><input type=\"hidden\" name=\"op\" value=\"download2\">"
                "<textarea name=\"note\">első sor\nmásodik</textarea>" +
                (request.matches[1] == "w" ? "<input type=\"password\" name=\"password\">" : "") +
                "<button id=\"dl\" type=\"submit\" name=\"method_free\" "
                "value=\"Ingyenes letöltés\">Download anyway</button></form>");
    });
    const auto formFile = [this](const httplib::Request& request, httplib::Response& response) {
        const std::string name = request.matches[1];
        const bool posted = request.method == "POST";
        const std::string token = posted ? postedField(request, "t") : request.get_param_value("t");
        bool good = false;
        std::optional<std::string> password;
        {
            std::lock_guard lock(mutex_);
            const auto found = formTokens_.find(token);
            good = found != formTokens_.end() && found->second.name == name &&
                   found->second.method == request.method && !found->second.used;
            if (good)
                found->second.used = true;
            const auto asked = filePasswords_.find(name);
            if (posted && asked != filePasswords_.end())
                password = asked->second;
        }
        if (!good || (posted && !sentAsTheBrowserSends(request, token, base() + "/gp/" + name) &&
                      !sentAsTheBrowserSends(request, token, base() + "/gw/" + name))) {
            sendExpired(response);
            return;
        }
        if (password) {
            const std::string given = postedField(request, "password");
            {
                std::lock_guard lock(mutex_);
                passwordsPosted_[name].push_back(given);
            }
            if (given != *password) {
                sendHtml(response, "<p class=\"err\">Wrong password</p>");
                return;
            }
        }
        serveFile(name, &request, &response);
    };
    server_->Get(R"(/g/file/([^?]*))", formFile);
    server_->Post(R"(/g/file/([^?]*))", formFile);

    server_->Get(
        R"(/gl/([^/?]+))", [](const httplib::Request& request, httplib::Response& response) {
            sendHtml(response, "<form method=\"post\" action=\"/gl/file/" +
                                   std::string(request.matches[1]) +
                                   "\"><button id=\"dl\" type=\"submit\">Download</button></form>");
        });
    const auto lateFile = [this](const httplib::Request& request, httplib::Response& response) {
        if (request.method == "POST")
            std::this_thread::sleep_for(std::chrono::seconds(4));
        serveFile(request.matches[1], &request, &response);
    };
    server_->Post(R"(/gl/file/([^?]*))", lateFile);
    server_->Get(R"(/gl/file/([^?]*))", lateFile);
}

} // namespace vardelo
