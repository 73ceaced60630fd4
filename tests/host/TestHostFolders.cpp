// Folder pages, shaped as hosts list a folder's files (pyLoad's folder
// decrypters and XFileSharing's user folders read such pages): a table of
// rows with the file's link, name and size over pages of ?page=N, and the
// plain link list a link protector shows.
#include "TestHost.h"

#include <httplib.h>

#include <algorithm>
#include <cstdlib>

namespace vardelo {
namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

void sendHtml(httplib::Response& response, const std::string& body) {
    response.set_content("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Folder"
                         "</title></head><body>" +
                             body + "</body></html>",
                         "text/html; charset=utf-8");
}

} // namespace

void TestHost::addFolder(const std::string& id, HostedFolder folder) {
    std::lock_guard lock(mutex_);
    folders_[id] = std::move(folder);
}

std::string TestHost::folderLinkFor(const std::string& id) const {
    return base() + "/folder/" + id;
}

void TestHost::addLinkList(const std::string& id, std::vector<FolderItem> items) {
    std::lock_guard lock(mutex_);
    linkLists_[id] = std::move(items);
}

std::string TestHost::linkListFor(const std::string& id) const {
    return base() + "/list/" + id;
}

std::string TestHost::folderPage(const std::string& id, int number) {
    std::lock_guard lock(mutex_);
    const HostedFolder& folder = folders_.at(id);
    const int pages = static_cast<int>(folder.pages.size());
    std::string body = "<h1>Files in <span>" + escaped(folder.name) + "</span></h1>";
    if (pages == 0 || (pages == 1 && folder.pages[0].empty()))
        return body + "<p>This folder is empty.</p>";
    body += "<table class=\"files\"><tr><th>Name</th><th>Size</th></tr>";
    for (const FolderItem& item : folder.pages[std::clamp(number, 1, pages) - 1])
        body += "<tr class=\"file\"><td><a href=\"" + escaped(item.href) + "\">" +
                escaped(item.name) + "</a></td><td class=\"size\">" + escaped(item.size) +
                "</td></tr>";
    body += "</table>";
    if (number < pages)
        body += "<p class=\"paging\"><a class=\"next\" href=\"?page=" + std::to_string(number + 1) +
                "\">Next &raquo;</a></p>";
    else if (!folder.lastLinksTo.empty())
        body += "<p class=\"paging\"><a class=\"next\" href=\"" + escaped(folder.lastLinksTo) +
                "\">Next &raquo;</a></p>";
    else if (folder.lastLinksFirst && pages > 1)
        body += "<p class=\"paging\"><a class=\"next\" href=\"/folder/" + id +
                "\">Next &raquo;</a></p>";
    return body;
}

std::string TestHost::passwordLinkFor(const std::string& name) const {
    return base() + "/pw/" + name;
}

void TestHost::setFilePassword(const std::string& name, const std::string& password) {
    std::lock_guard lock(mutex_);
    filePasswords_[name] = password;
}

std::vector<std::string> TestHost::passwordsPosted(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto found = passwordsPosted_.find(name);
    return found == passwordsPosted_.end() ? std::vector<std::string>{} : found->second;
}

void TestHost::routePasswordHost() {
    const auto form = [](const std::string& name) {
        return "<h2>Download " + escaped(name) +
               "</h2><form id=\"pf\" method=\"post\" action=\"/pw/" + escaped(name) +
               "\"><input type=\"hidden\" name=\"op\" value=\"download2\"><p>Password: "
               "<input type=\"password\" name=\"password\"></p><input type=\"submit\" "
               "value=\"Download\"></form>";
    };
    server_->Get(R"(/pw/([^/?]+))",
                 [form](const httplib::Request& request, httplib::Response& response) {
                     sendHtml(response, form(request.matches[1]));
                 });
    server_->Post(R"(/pw/([^/?]+))",
                  [this, form](const httplib::Request& request, httplib::Response& response) {
                      const std::string name = request.matches[1];
                      const std::string given = request.get_param_value("password");
                      bool right = false;
                      {
                          std::lock_guard lock(mutex_);
                          passwordsPosted_[name].push_back(given);
                          const auto found = filePasswords_.find(name);
                          right = found != filePasswords_.end() && found->second == given;
                      }
                      if (!right) {
                          sendHtml(response, "<p class=\"err\">Wrong password</p>" + form(name));
                          return;
                      }
                      sendHtml(response, "<span id=\"direct_link\"><a href=\"/files/" +
                                             escaped(name) + "\">" + escaped(name) + "</a></span>");
                  });
}

void TestHost::routeFolders() {
    routePasswordHost();
    server_->Get(R"(/folder/([^/?]+))", [this](const httplib::Request& request,
                                               httplib::Response& response) {
        const std::string id = request.matches[1];
        bool known = false, guarded = false;
        {
            std::lock_guard lock(mutex_);
            const auto found = folders_.find(id);
            known = found != folders_.end();
            guarded = known && found->second.protectedByCaptcha;
        }
        if (!known) {
            sendHtml(response, "<p>This folder does not exist.</p>");
            response.status = 404;
            return;
        }
        if (guarded &&
            request.get_header_value("Cookie").find("human=" + id) == std::string::npos) {
            sendHtml(response, "<p>Prove that you are human.</p><form id=\"protect\" "
                               "method=\"post\"><label><input type=\"checkbox\" name=\"human\" "
                               "value=\"1\"> I am human</label><button>Continue</button></form>");
            return;
        }
        const std::string page = request.get_param_value("page");
        // The protector's form stays on the pages it let through, as done.
        sendHtml(response, folderPage(id, page.empty() ? 1 : std::atoi(page.c_str())) +
                               (guarded ? "<form id=\"protect\" class=\"done\"></form>" : ""));
    });
    server_->Post(R"(/folder/([^/?]+))",
                  [](const httplib::Request& request, httplib::Response& response) {
                      const std::string id = request.matches[1];
                      if (request.get_param_value("human") != "1") {
                          sendHtml(response, "<p>Prove that you are human.</p>");
                          return;
                      }
                      response.set_header("Set-Cookie", "human=" + id + "; Path=/folder/" + id);
                      response.set_redirect("/folder/" + id, 303);
                  });
    server_->Get(R"(/list/([^/?]+))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     std::string body = "<h2>Links</h2>";
                     std::lock_guard lock(mutex_);
                     const auto found = linkLists_.find(request.matches[1]);
                     if (found == linkLists_.end()) {
                         sendHtml(response, "<p>This folder does not exist.</p>");
                         response.status = 404;
                         return;
                     }
                     for (const FolderItem& item : found->second)
                         body += "<div class=\"link\"><a href=\"" + escaped(item.href) + "\">" +
                                 escaped(item.name) + "</a></div>\n";
                     sendHtml(response, body);
                 });
}

} // namespace vardelo
