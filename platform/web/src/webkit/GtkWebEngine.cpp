// The real engine over WebKitGTK 4.1. Everything here runs on the main thread, on
// GLib's default main context, which the main run loop iterates while engines live.

#include <web/RealWebEngine.h>

#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include <fnd/RunLoop.h>

#include "../RealEngineEntry.h"
#include "../ScriptURL.h"

namespace web {

namespace {

// GLib is iterated every few milliseconds while engines idle. While one loads, every
// pass of the main loop also waits on GLib's own sources for a few milliseconds, so a
// load is not slowed by waiting for the next iteration at each of its steps; the main
// loop's other work waits that long at most.
constexpr double kIdlePumpInterval = 0.005;
constexpr double kBusyPumpInterval = 0;
/// The longest a host's script waits for the page, in seconds (a setting). The host's
/// loop stands still while it waits, so the wait is short: a page's script that needs
/// longer is taken for a page that keeps its process busy.
constexpr double kDefaultScriptTimeout = 2;
double scriptTimeout = kDefaultScriptTimeout;
/// The longest a load may go without progress, in seconds (a setting).
constexpr double kDefaultLoadStallTimeout = 20;
double loadStallTimeout = kDefaultLoadStallTimeout;
/// The engine's error for a page that kept its process busy past the script time-out.
constexpr long long kPageUnresponsiveCode = 3;
/// The engine's error for a load that made no progress within its bound.
constexpr long long kLoadStalledCode = 4;
/// Each load of a host's gets a number no other load of any engine has, so the end of
/// a replaced load is told to nobody.
std::uint64_t lastLoadSerial = 0;

bool gtkStarted = false;
int pendingClears = 0;
int busyEngines = 0;
rt::Ref<fnd::Timer> pump;
bool pumpIsBusy = false;
class GtkWebEngine;
std::set<GtkWebEngine*>& liveEngines() {
    static std::set<GtkWebEngine*> engines;
    return engines;
}

bool startGtk(rt::Ref<rt::Error>* error) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    bool named = (display && *display) || (wayland && *wayland);
    // A display server that is there may still turn a connection away for a moment (a
    // busy one, its queue of connections full): a few tries before giving up, and a
    // failure is not kept, so a later engine tries again.
    for (int attempt = 0; named && !gtkStarted && attempt < 3; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gtkStarted = gtk_init_check(nullptr, nullptr);
    }
    if (!gtkStarted && error)
        *error = rt::Error::withDescription(kWebEngineErrorDomain, 1,
                                            "No display for the web engine: set DISPLAY to a running X server "
                                            "(for tests, start one with xvfb-run -a).");
    return gtkStarted;
}

constexpr int kBusyWaitMilliseconds = 4;

/// One iteration of GLib's default context that waits at most the given time for its
/// sources: a web process's answer is handled the moment it comes.
void waitForGLib(int milliseconds) {
    GMainContext* context = g_main_context_default();
    if (!g_main_context_acquire(context)) return;
    gint priority = 0;
    g_main_context_prepare(context, &priority);
    std::vector<GPollFD> fds(16);
    gint timeout = 0;
    gint n;
    while ((n = g_main_context_query(context, priority, &timeout, fds.data(), static_cast<gint>(fds.size()))) >
           static_cast<gint>(fds.size()))
        fds.resize(static_cast<std::size_t>(n));
    if (timeout < 0 || timeout > milliseconds) timeout = milliseconds;
    g_poll(fds.data(), static_cast<guint>(n), timeout);
    if (g_main_context_check(context, priority, fds.data(), n)) g_main_context_dispatch(context);
    g_main_context_release(context);
}

/// Iterates GLib's context from the main run loop while any engine lives, at the pace
/// of the engines' present work.
void keepPumping() {
    bool busy = busyEngines > 0 || pendingClears > 0;
    if (pump && pumpIsBusy == busy) return;
    if (pump) pump->invalidate();
    pumpIsBusy = busy;
    pump = fnd::RunLoop::main()->schedule(busy ? kBusyPumpInterval : kIdlePumpInterval, true, [busy](fnd::Timer&) {
        if (busy) waitForGLib(kBusyWaitMilliseconds);
        for (int i = 0; i < 32 && g_main_context_iteration(nullptr, FALSE); ++i) {
        }
    });
}

void stopPumpingWhenIdle() {
    if (liveEngines().empty() && pendingClears == 0 && pump) {
        pump->invalidate();
        pump = nullptr;
    }
}

class GtkWebEngine : public WebEngine {
public:
    GtkWebEngine() {
        context_ = webkit_web_context_new_ephemeral();
        webkit_web_context_set_sandbox_enabled(context_, TRUE);
        window_ = gtk_offscreen_window_new();
        view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context_));
        g_object_ref_sink(view_);
        gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
        setViewportSize(ui::Size{320, 1});
        gtk_widget_show_all(window_);
        g_signal_connect(view_, "decide-policy", G_CALLBACK(&GtkWebEngine::onDecidePolicy), this);
        g_signal_connect(view_, "load-changed", G_CALLBACK(&GtkWebEngine::onLoadChanged), this);
        g_signal_connect(view_, "load-failed", G_CALLBACK(&GtkWebEngine::onLoadFailed), this);
        g_signal_connect(view_, "web-process-terminated", G_CALLBACK(&GtkWebEngine::onWebProcessTerminated), this);
        g_signal_connect(view_, "notify::estimated-load-progress", G_CALLBACK(&GtkWebEngine::onLoadProgress), this);
        liveEngines().insert(this);
        keepPumping();
    }

    ~GtkWebEngine() override {
        loadTaken();
        setBusy(false);
        liveEngines().erase(this);
        g_signal_handlers_disconnect_by_data(view_, this);
        webkit_web_view_stop_loading(view_);
        gtk_widget_destroy(window_);
        g_object_unref(view_);
        g_object_unref(context_);
        stopPumpingWhenIdle();
    }

    void loadHTMLString(const std::string& html, const std::string& baseURL) override {
        issueHostLoad([this, html, baseURL] {
            webkit_web_view_load_html(view_, html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
        });
    }
    void loadRequest(const std::string& url) override {
        if (isScriptURL(url)) {
            // The engine runs a script URL in the present page without asking the
            // policy: it is asked here, like any other request, and no load starts.
            NavigationAction asked{url, ui::WebViewNavigationType::Other, true};
            if (decidePolicy && decidePolicy(asked)) webkit_web_view_load_uri(view_, url.c_str());
            return;
        }
        issueHostLoad([this, url] { webkit_web_view_load_uri(view_, url.c_str()); });
    }
    void stopLoading() override {
        loadTaken();
        webkit_web_view_stop_loading(view_);
        measuring_ = false;
        setBusy(false);
    }
    bool isLoading() const override {
        return !stopped_ && !endingSlowLoad_ && (webkit_web_view_is_loading(view_) || measuring_);
    }
    std::string title() const override {
        // The title read with the page's height, once the page is measured; the view's
        // own notion of it may trail the end of the load.
        if (!pageTitle_.empty()) return pageTitle_;
        const char* t = webkit_web_view_get_title(view_);
        return t ? t : "";
    }

    std::string evaluateScript(const std::string& script) override {
        // A page stopped for keeping its process busy has nothing to answer with, and the
        // host has heard why; it is not waited for again until it is loaded again.
        if (stopped_) return "";
        // The answer lands in a copy on the heap: after a time-out nobody waits for it.
        auto wait = std::make_shared<ScriptWait>();
        webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr,
                                            &GtkWebEngine::onScriptAnswer, new std::shared_ptr<ScriptWait>(wait));
        // The host asks for an answer now: GLib runs until the page gives it, or until
        // the time-out says the page has stopped answering.
        const gint64 end = g_get_monotonic_time() + static_cast<gint64>(scriptTimeout * G_USEC_PER_SEC);
        while (!wait->done) {
            const gint64 left = end - g_get_monotonic_time();
            if (left <= 0) {
                stopPage(kPageUnresponsiveCode,
                         "The page did not answer a script within " + secondsText(scriptTimeout) +
                             " s, so its web process was stopped: load the page again, and if it keeps its "
                             "scripts busy, show it with its scripts off.");
                return "";
            }
            waitForGLib(static_cast<int>(std::min<gint64>(left / 1000 + 1, 50)));
        }
        return wait->answer;
    }

    double contentHeight() const override {
        if (webkit_web_view_is_loading(view_) || measuring_ || stopped_) return height_;
        auto* self = const_cast<GtkWebEngine*>(this);
        std::string h = self->evaluateScript(kHeightScript);
        return h.empty() ? height_ : std::atof(h.c_str());
    }

    void setViewportSize(ui::Size size) override {
        int w = std::max(1, static_cast<int>(size.width));
        int h = std::max(1, static_cast<int>(size.height));
        gtk_widget_set_size_request(GTK_WIDGET(view_), w, h);
        gtk_window_resize(GTK_WINDOW(window_), w, h);
    }

    void setPageScriptsEnabled(bool enabled) override {
        g_object_set(webkit_web_view_get_settings(view_), "enable-javascript-markup", enabled ? TRUE : FALSE, nullptr);
    }

    void clearWebsiteData() {
        ++pendingClears;
        keepPumping();
        webkit_website_data_manager_clear(
            webkit_web_context_get_website_data_manager(context_), WEBKIT_WEBSITE_DATA_ALL, 0, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer) {
                webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, nullptr);
                --pendingClears;
                keepPumping();
                stopPumpingWhenIdle();
            },
            nullptr);
    }

private:
    struct ScriptWait {
        bool done = false;
        std::string answer;
    };
    /// What the page-state script answers.
    struct PageState {
        double height = 0;
        std::string title;
        std::string readyState;
    };
    /// A question to the page about its state, and whom its answer is for.
    struct PageQuestion {
        GtkWebEngine* engine;
        std::uint64_t load;
        void (GtkWebEngine::*answered)(const PageState&);
    };

    /// Starts a load of the host's. A page left busy at the end of its last load holds
    /// its process: the new load gets a process of its own, quietly (the host heard that
    /// load end). A page that went busy after it was measured holds it just the same, and
    /// nothing says so but the new load never starting: a process that held a page and
    /// does not take the load within the script time-out is stopped, and the load is
    /// given once more, to a new process.
    void issueHostLoad(std::function<void()> load) {
        const bool processHeld = processHoldsPage_ && !busyAfterLoad_ && !stopped_;
        if (busyAfterLoad_ && !stopped_) stopProcessQuietly();
        beginHostLoad();
        load();
        if (!processHeld) return;
        std::weak_ptr<bool> alive = alive_;
        const std::uint64_t serial = loadSerial_;
        startLimit_ = fnd::RunLoop::main()->after(scriptTimeout, [this, alive, serial, load = std::move(load)] {
            if (!alive.lock()) return;
            startLimit_ = nullptr;
            if (loadSerial_ != serial) return;
            stopProcessQuietly();
            beginHostLoad();
            load();
        });
    }

    /// The page's process answered about the load under way: it is not held by a page.
    void loadTaken() {
        if (startLimit_) startLimit_->invalidate();
        startLimit_ = nullptr;
    }

    void stopProcessQuietly() {
        loadTaken();
        processHoldsPage_ = false;
        stoppingUnresponsivePage_ = true;
        webkit_web_view_terminate_web_process(view_);
    }

    void beginHostLoad() {
        busyAfterLoad_ = false;
        loadSerial_ = ++lastLoadSerial;
        measuring_ = false;
        stopped_ = false;
        committed_ = false;
        endingSlowLoad_ = false;
        setBusy(true);
        noteProgress();
    }

    static void onScriptAnswer(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<ScriptWait>> wait(static_cast<std::shared_ptr<ScriptWait>*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        if (value) {
            if (!jsc_value_is_undefined(value) && !jsc_value_is_null(value)) {
                char* text = jsc_value_to_string(value);
                (*wait)->answer = text ? text : "";
                g_free(text);
            }
            g_object_unref(value);
        }
        if (error) g_error_free(error);
        (*wait)->done = true;
    }

    static std::string secondsText(double seconds) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", seconds);
        return text;
    }

    /// The page keeps its process busy (or its load stands still): the process is
    /// stopped (the next load starts a new one), and the host hears of it as a failed
    /// load, on the next turn of its loop rather than inside its own call for an answer.
    void stopPage(long long code, const std::string& why) {
        measuring_ = false;
        failed_ = false;
        stopped_ = true;
        setBusy(false);
        stopProcessQuietly();
        const std::string error = rt::Error::withDescription(kWebEngineErrorDomain, code, why)->description();
        std::weak_ptr<bool> alive = alive_;
        fnd::RunLoop::main()->post([this, alive, error] {
            if (alive.lock() && didFailLoad) didFailLoad(error);
        });
    }

    void setBusy(bool busy) {
        if (busy == busy_) return;
        busy_ = busy;
        busyEngines += busy ? 1 : -1;
        if (liveEngines().count(this)) keepPumping();
        if (busy) {
            noteProgress();
            return;
        }
        for (rt::Ref<fnd::Timer>* timer : {&stallCheck_, &stallQuestion_, &measureLimit_}) {
            if (*timer) (*timer)->invalidate();
            *timer = nullptr;
        }
    }

    /// While a load is under way (until it is measured, fails or is stopped), a timer of
    /// the main run loop checks that it moves: a page whose own script keeps its process
    /// busy in the middle of the load would otherwise leave it loading for ever, and its
    /// host would hear nothing.
    void noteProgress() {
        if (!busy_) return;
        lastProgress_ = fnd::RunLoop::main()->clock().now();
        watchProgress();
    }

    /// Checks the load again when it will have stood still for the bound, unless a check
    /// or a question to the page is already under way.
    void watchProgress() {
        if (stallCheck_ || stallQuestion_) return;
        const double still = fnd::RunLoop::main()->clock().now() - lastProgress_;
        std::weak_ptr<bool> alive = alive_;
        stallCheck_ = fnd::RunLoop::main()->after(std::max(0.0, loadStallTimeout - still), [this, alive] {
            if (!alive.lock()) return;
            stallCheck_ = nullptr;
            if (!busy_) return;
            if (fnd::RunLoop::main()->clock().now() - lastProgress_ < loadStallTimeout) {
                watchProgress();
                return;
            }
            askStalledPage();
        });
    }

    /// The load stood still for its bound. A page whose process answers a script within
    /// the script time-out is slow, not busy (an image or a script it waits for never
    /// comes): its load is stopped and what it shows stays. A process that does not answer
    /// is stopped.
    void askStalledPage() {
        askedAt_ = lastProgress_;
        std::weak_ptr<bool> alive = alive_;
        stallQuestion_ = fnd::RunLoop::main()->after(scriptTimeout, [this, alive] {
            if (!alive.lock()) return;
            stallQuestion_ = nullptr;
            if (!busy_) return;
            if (lastProgress_ != askedAt_) {
                watchProgress();
                return;
            }
            stopPage(kLoadStalledCode, "The page's load made no progress for " + secondsText(loadStallTimeout) +
                                           " s and the page did not answer within " + secondsText(scriptTimeout) +
                                           " s, so its web process was stopped: load the page again; if its "
                                           "scripts keep it busy, show it with its scripts off.");
        });
        askPageState(&GtkWebEngine::stalledPageAnswered);
    }

    void stalledPageAnswered(const PageState& state) {
        if (!stallQuestion_) return;  // after the time-out: the page was stopped
        stallQuestion_->invalidate();
        stallQuestion_ = nullptr;
        if (lastProgress_ != askedAt_) {
            watchProgress();
            return;
        }
        endSlowLoad(state);
    }

    /// Stops the load of a page that answers. Once its document is in (only what it
    /// refers to is missing), the load is told as finished with what has come; otherwise
    /// as failed, and the page shown before stays.
    void endSlowLoad(const PageState& state) {
        const bool documentIn = committed_ && state.readyState != "loading";
        // What the engine tells of the stop is no news: the host hears it here.
        endingSlowLoad_ = true;
        webkit_web_view_stop_loading(view_);
        // A measurement still asked for ends for nobody.
        loadSerial_ = ++lastLoadSerial;
        measuring_ = false;
        setBusy(false);
        if (documentIn) {
            height_ = state.height;
            pageTitle_ = state.title;
            if (didFinishLoad) didFinishLoad();
        } else if (didFailLoad) {
            didFailLoad(rt::Error::withDescription(
                            kWebEngineErrorDomain, kLoadStalledCode,
                            "The page's load made no progress for " + secondsText(loadStallTimeout) +
                                " s, so it was stopped before its document came; the page shown before stays: "
                                "load the page again, and if its server stopped sending, try again later.")
                            ->description());
        }
    }

    static constexpr const char* kHeightScript =
        "Math.max(document.documentElement ? document.documentElement.scrollHeight : 0,"
        " document.body ? document.body.scrollHeight : 0)";
    /// The page's height, title and how far its document came.
    static constexpr const char* kPageStateScript =
        "({h: Math.max(document.documentElement ? document.documentElement.scrollHeight : 0,"
        " document.body ? document.body.scrollHeight : 0), t: document.title, r: document.readyState})";

    /// Asks the page for its state, for the load under way: the answer goes to the
    /// member given, unless the engine went away, the page's process ended or the host
    /// replaced the load since (its end is told to nobody: the host hears the end of its
    /// latest load only).
    void askPageState(void (GtkWebEngine::*answered)(const PageState&)) {
        webkit_web_view_evaluate_javascript(
            view_, kPageStateScript, -1, nullptr, nullptr, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                std::unique_ptr<PageQuestion> asked(static_cast<PageQuestion*>(data));
                GError* error = nullptr;
                JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
                if (error) {
                    g_error_free(error);
                    return;
                }
                PageState state;
                if (value) {
                    readPageState(value, state);
                    g_object_unref(value);
                }
                auto* self = asked->engine;
                if (liveEngines().count(self) && self->loadSerial_ == asked->load) (self->*asked->answered)(state);
            },
            new PageQuestion{this, loadSerial_, answered});
    }

    /// Reads the answer of the page-state script.
    static void readPageState(JSCValue* value, PageState& state) {
        if (!jsc_value_is_object(value)) return;
        JSCValue* h = jsc_value_object_get_property(value, "h");
        JSCValue* t = jsc_value_object_get_property(value, "t");
        JSCValue* r = jsc_value_object_get_property(value, "r");
        state.height = jsc_value_to_double(h);
        for (auto [from, to] : {std::pair{t, &state.title}, std::pair{r, &state.readyState}}) {
            char* text = jsc_value_to_string(from);
            *to = text ? text : "";
            g_free(text);
            g_object_unref(from);
        }
        g_object_unref(h);
    }

    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer data) {
        auto* self = static_cast<GtkWebEngine*>(data);
        self->loadTaken();
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        NavigationAction asked;
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        asked.url = uri ? uri : "";
        asked.type = static_cast<ui::WebViewNavigationType>(webkit_navigation_action_get_navigation_type(action));
        // The engine does not say which frame navigates; every navigation counts as the
        // main frame's, so a host refusing those refuses a sub-frame's too.
        asked.mainFrame = true;
        bool allowed = !self->decidePolicy || self->decidePolicy(asked);
        // A page never opens windows of its own: a new-window navigation only asks.
        if (allowed && type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
            webkit_policy_decision_use(decision);
            return TRUE;
        }
        webkit_policy_decision_ignore(decision);
        // A refused load of the host's never starts: once the engine is quiet again, it
        // no longer needs the fast pace.
        fnd::RunLoop::main()->after(0.1, [self] {
            if (liveEngines().count(self) && !webkit_web_view_is_loading(self->view_) && !self->measuring_)
                self->setBusy(false);
        });
        return TRUE;
    }

    static void onLoadProgress(WebKitWebView*, GParamSpec*, gpointer data) {
        static_cast<GtkWebEngine*>(data)->noteProgress();
    }

    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
        auto* self = static_cast<GtkWebEngine*>(data);
        // What the stopped page's process still told is no news: the host heard why.
        if (self->stopped_) return;
        self->loadTaken();
        self->processHoldsPage_ = true;
        if (self->endingSlowLoad_) {
            // The stopped slow load ends here; a load the page starts later is news.
            if (event != WEBKIT_LOAD_STARTED) {
                if (event == WEBKIT_LOAD_FINISHED) self->endingSlowLoad_ = false;
                return;
            }
            self->endingSlowLoad_ = false;
        }
        self->noteProgress();
        if (event == WEBKIT_LOAD_COMMITTED) self->committed_ = true;
        if (event == WEBKIT_LOAD_STARTED) {
            self->committed_ = false;
            self->setBusy(true);
            self->pageTitle_.clear();
            if (self->didStartLoad) self->didStartLoad();
            return;
        }
        if (event != WEBKIT_LOAD_FINISHED) return;
        if (self->failed_) {
            self->failed_ = false;
            self->setBusy(false);
            return;
        }
        // Finished means measured: the height (and the title) are read before the host
        // hears of the end, within the script time-out.
        self->measuring_ = true;
        self->askPageState(&GtkWebEngine::measured);
        self->limitMeasuring();
    }

    /// A page whose own script keeps its process busy from the end of its load on never
    /// answers the question: its load is told as finished at the script time-out (on the
    /// main run loop's clock), with the title the engine knows and no height.
    void limitMeasuring() {
        if (measureLimit_) measureLimit_->invalidate();
        std::weak_ptr<bool> alive = alive_;
        const std::uint64_t load = loadSerial_;
        measureLimit_ = fnd::RunLoop::main()->after(scriptTimeout, [this, alive, load] {
            if (!alive.lock()) return;
            measureLimit_ = nullptr;
            if (!measuring_ || loadSerial_ != load) return;
            // A late answer is for nobody.
            loadSerial_ = ++lastLoadSerial;
            busyAfterLoad_ = true;
            measured(PageState{});
        });
    }

    void measured(const PageState& state) {
        height_ = state.height;
        pageTitle_ = state.title;
        measuring_ = false;
        setBusy(false);
        if (didFinishLoad) didFinishLoad();
    }

    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
        auto* self = static_cast<GtkWebEngine*>(data);
        if (self->stopped_ || self->endingSlowLoad_) return FALSE;
        self->loadTaken();
        self->failed_ = true;
        // A load stopped by the host or replaced by a refused navigation is no failure.
        if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
            g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
            return FALSE;
        if (self->didFailLoad) self->didFailLoad(std::string(uri ? uri : "") + ": " + (error ? error->message : ""));
        return FALSE;
    }

    static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data) {
        auto* self = static_cast<GtkWebEngine*>(data);
        self->processHoldsPage_ = false;
        if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API && self->stoppingUnresponsivePage_) {
            self->stoppingUnresponsivePage_ = false;
            return;  // stopped here, and told as the page that did not answer
        }
        // The page is gone with its process; the next load starts a new one.
        self->loadTaken();
        self->measuring_ = false;
        self->failed_ = false;
        self->setBusy(false);
        const char* why = reason == WEBKIT_WEB_PROCESS_CRASHED                  ? "its process crashed"
                          : reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "its process ran out of memory"
                                                                               : "its process was stopped";
        if (self->didFailLoad)
            self->didFailLoad(std::string("The web content ended: ") + why + "; load the page again to show it.");
    }

    WebKitWebContext* context_ = nullptr;
    GtkWidget* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    double height_ = 0;
    bool measuring_ = false;
    bool failed_ = false;
    bool busy_ = false;
    bool stoppingUnresponsivePage_ = false;
    /// The page's process was stopped for keeping it busy; until the host loads again,
    /// nothing is waited for.
    bool stopped_ = false;
    /// The load under way has a document of its own (the page before is gone).
    bool committed_ = false;
    /// A slow load was stopped and told; what the engine tells of its end is not news.
    bool endingSlowLoad_ = false;
    /// When the load under way last moved, on the main run loop's clock.
    double lastProgress_ = 0;
    rt::Ref<fnd::Timer> stallCheck_;
    /// Bounds the wait for the measurement at the end of a load.
    rt::Ref<fnd::Timer> measureLimit_;
    /// The last load ended without its measurement: the page kept its process busy.
    bool busyAfterLoad_ = false;
    /// The view's web process has shown a page (and may be kept busy by it).
    bool processHoldsPage_ = false;
    /// Bounds the wait for a process that held a page to take the host's next load.
    rt::Ref<fnd::Timer> startLimit_;
    /// Bounds the wait for the answer of a page whose load stood still.
    rt::Ref<fnd::Timer> stallQuestion_;
    /// When the load had last moved as the page was asked.
    double askedAt_ = 0;
    std::uint64_t loadSerial_ = 0;
    std::string pageTitle_;
    /// Lives as long as the engine: a failure posted to the run loop checks it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

std::unique_ptr<WebEngine> makeGtkEngine(rt::Ref<rt::Error>* error) {
    if (!startGtk(error)) return nullptr;
    return std::make_unique<GtkWebEngine>();
}

void setGtkScriptTimeout(double seconds) { scriptTimeout = seconds > 0 ? seconds : kDefaultScriptTimeout; }
void setGtkLoadStallTimeout(double seconds) { loadStallTimeout = seconds > 0 ? seconds : kDefaultLoadStallTimeout; }

void clearGtkWebsiteData() {
    if (!gtkStarted) return;
    for (GtkWebEngine* engine : liveEngines()) engine->clearWebsiteData();
}

}  // namespace

}  // namespace web

extern "C" const web::detail::RealEngineEntry* zid_web_real_engine() {
    static const web::detail::RealEngineEntry entry{web::startGtk,
                                                    web::makeGtkEngine,
                                                    [] { return web::pendingClears; },
                                                    web::clearGtkWebsiteData,
                                                    web::setGtkScriptTimeout,
                                                    web::setGtkLoadStallTimeout};
    return &entry;
}
