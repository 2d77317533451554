#include "peers/GatewayPeer.h"

#include <algorithm>
#include <cctype>

namespace peers {

namespace {

std::string gatewayPercentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto slash = path.find('/', start);
        pieces.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return pieces;
}

}  // namespace

GatewayPeer::GatewayPeer(const TestCertificate& certificate) : server_(certificate) {
    auto reader = [this](const std::string& verb) {
        return [this, verb](const httplib::Request& request, httplib::Response& response,
                            const httplib::ContentReader& content) {
            std::string body;
            std::vector<GatewayPart> parts;
            if (request.is_multipart_form_data()) {
                content(
                    [&parts](const httplib::MultipartFormData& header) {
                        parts.push_back({header.name, header.filename, header.content_type, {}});
                        return true;
                    },
                    [&parts](const char* data, std::size_t length) {
                        parts.back().body.append(data, length);
                        return true;
                    });
            } else {
                content([&body](const char* data, std::size_t length) {
                    body.append(data, length);
                    return true;
                });
            }
            handle(verb, body, std::move(parts), &request, &response);
        };
    };
    server_.http().Get(R"(/json\.php/.*)", [this](const httplib::Request& request, httplib::Response& response) {
        handle("GET", request.body, {}, &request, &response);
    });
    server_.http().Post(R"(/json\.php/.*)", reader("POST"));
}

GatewayPeer::~GatewayPeer() { stop(); }

void GatewayPeer::start() { server_.start(); }

void GatewayPeer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_.stop();
}

void GatewayPeer::answer(const std::string& gatewayMethod, GatewayAnswer answer) {
    std::lock_guard lock(mutex_);
    answers_[gatewayMethod].push_back(std::move(answer));
}

void GatewayPeer::setDefaultAnswer(GatewayAnswer answer) {
    std::lock_guard lock(mutex_);
    defaultAnswer_ = std::move(answer);
}

std::vector<GatewayRequest> GatewayPeer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool GatewayPeer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void GatewayPeer::holdAnswers() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void GatewayPeer::releaseAnswers() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
    }
    changed_.notify_all();
}

int GatewayPeer::inFlight() const {
    std::lock_guard lock(mutex_);
    return inFlight_;
}

int GatewayPeer::maxInFlight() const {
    std::lock_guard lock(mutex_);
    return maxInFlight_;
}

void GatewayPeer::handle(const std::string& verb, const std::string& body, std::vector<GatewayPart> parts,
                         const void* requestPointer, void* responsePointer) {
    const auto& request = *static_cast<const httplib::Request*>(requestPointer);
    auto& response = *static_cast<httplib::Response*>(responsePointer);
    GatewayRequest record;
    record.verb = verb;
    record.target = request.target;
    record.host = request.get_header_value("Host");
    record.contentType = request.get_header_value("Content-Type");
    record.body = body;
    const std::string rawPath = request.target.substr(0, request.target.find('?'));
    const auto pieces = splitPath(rawPath);  // "", "json.php", method, [parameters...]
    if (pieces.size() > 2) record.gatewayMethod = gatewayPercentDecoded(pieces[2]);
    if (pieces.size() > 3) {
        // A "/" inside the JSON text stays a slash on the wire, so the text is everything
        // after the method.
        std::string joined = pieces[3];
        for (std::size_t i = 4; i < pieces.size(); ++i) joined += "/" + pieces[i];
        record.hasParametersComponent = true;
        record.parametersJSON = gatewayPercentDecoded(joined);
    }
    record.parts = std::move(parts);

    GatewayAnswer answer;
    {
        std::unique_lock lock(mutex_);
        requests_.push_back(record);
        ++inFlight_;
        maxInFlight_ = std::max(maxInFlight_, inFlight_);
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_ || stopping_; });
        --inFlight_;
        auto it = answers_.find(record.gatewayMethod);
        if (it != answers_.end() && !it->second.empty()) {
            answer = it->second.front();
            if (it->second.size() > 1) it->second.pop_front();
        } else {
            answer = defaultAnswer_;
        }
    }
    response.status = answer.status;
    response.set_content(answer.body, answer.contentType.c_str());
}

}  // namespace peers
