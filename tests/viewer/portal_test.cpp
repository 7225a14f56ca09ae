// The desktop's save dialog through the file-chooser portal, against the
// stand-in portal on a private session bus: what the call carries, how each
// outcome comes back, and that a missing or failing portal leaves the
// decision to the wizard's own dialog.
#include "viewer/portal_save_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "tests/support/session_bus.h"

namespace {

using nlohmann::json;
using testing_support::PrivateSessionBus;
using testing_support::SessionBusVariable;
using viewer::PortalSaveRequest;
using viewer::PortalSaveResult;

PortalSaveRequest KeyRequest() {
    PortalSaveRequest request;
    request.title = "Guardar como";
    request.filters = viewer::PortalFilters("Llave Privada (*.key)|*.key");
    request.name =
        "Mar\xc3\xad"
        "a.key";
    request.folder =
        "/home/mar\xc3\xad"
        "a/Documentos";
    return request;
}

#define REQUIRE_BUS(bus) \
    if (!(bus).ok())     \
    GTEST_SKIP() << "dbus-daemon did not start (package dbus-daemon), no private bus here"

TEST(PortalSaveDialog, TheCallCarriesTitleNameFolderAndFilterAndTheChosenFileComesBack) {
    PrivateSessionBus bus;
    REQUIRE_BUS(bus);
    ASSERT_TRUE(bus.StartPortal({"uri:file:///tmp/Se%C3%B1al%20nueva/mar%C3%ADa"}));
    SessionBusVariable variable(bus.address());
    std::atomic<bool> abandon{false};

    const PortalSaveResult result = viewer::RunPortalSaveDialog(KeyRequest(), abandon);
    EXPECT_EQ(result.outcome, PortalSaveResult::Chosen);
    EXPECT_EQ(result.path,
              "/tmp/Se\xc3\xb1"
              "al nueva/mar\xc3\xad"
              "a");

    const std::vector<std::string> calls = bus.PortalCalls();
    ASSERT_EQ(calls.size(), 1u);
    const json call = json::parse(calls[0]);
    EXPECT_EQ(call["call"], "SaveFile");
    EXPECT_EQ(call["title"], "Guardar como");
    const json& options = call["options"];
    EXPECT_EQ(options["current_name"], KeyRequest().name);
    // The folder goes as bytes ending in NUL.
    EXPECT_EQ(options["current_folder"], KeyRequest().folder + std::string(1, '\0'));
    EXPECT_EQ(options["filters"], json::parse(R"j([["Llave Privada (*.key)", [[0, "*.key"]]]])j"));
    EXPECT_EQ(options["current_filter"],
              json::parse(R"j(["Llave Privada (*.key)", [[0, "*.key"]]])j"));
    EXPECT_EQ(options["modal"], true);
    EXPECT_EQ(options["accept_label"], "_Guardar");
    EXPECT_EQ(options["handle_token"].get<std::string>().rfind("reqwiz", 0), 0u);
}

TEST(PortalSaveDialog, EachOutcomeOfThePortal) {
    struct Case {
        const char* answer;
        PortalSaveResult::Outcome outcome;
    } cases[] = {
        {"cancel", PortalSaveResult::Cancelled},
        // The portal failed rather than the user deciding: the wizard's own
        // dialog takes over.
        {"fail", PortalSaveResult::Unavailable},
        {"refuse", PortalSaveResult::Unavailable},
        // Not a file on this machine.
        {"uri:https://example.org/x.key", PortalSaveResult::Unavailable},
        {"uri:file://otra-maquina/x.key", PortalSaveResult::Unavailable},
        {"uri:file:///tmp/a%00b.key", PortalSaveResult::Unavailable},
    };
    for (const Case& c : cases) {
        PrivateSessionBus bus;
        REQUIRE_BUS(bus);
        ASSERT_TRUE(bus.StartPortal({c.answer})) << c.answer;
        SessionBusVariable variable(bus.address());
        std::atomic<bool> abandon{false};
        const PortalSaveResult result = viewer::RunPortalSaveDialog(KeyRequest(), abandon);
        EXPECT_EQ(result.outcome, c.outcome) << c.answer;
        EXPECT_EQ(result.path, "") << c.answer;
    }
}

TEST(PortalSaveDialog, NoBusOrNoPortalIsUnavailable) {
    std::atomic<bool> abandon{false};
    {
        SessionBusVariable variable("unix:path=/nonexistent/reqwiz-test-bus");
        EXPECT_EQ(viewer::RunPortalSaveDialog(KeyRequest(), abandon).outcome,
                  PortalSaveResult::Unavailable);
    }
    PrivateSessionBus bus;
    REQUIRE_BUS(bus);
    SessionBusVariable variable(bus.address());
    EXPECT_EQ(viewer::RunPortalSaveDialog(KeyRequest(), abandon).outcome,
              PortalSaveResult::Unavailable);
}

TEST(PortalSaveDialog, AnAbandonedDialogIsClosedAtThePortal) {
    PrivateSessionBus bus;
    REQUIRE_BUS(bus);
    ASSERT_TRUE(bus.StartPortal({"silent"}));
    SessionBusVariable variable(bus.address());
    std::atomic<bool> abandon{false};
    std::thread window([&] {
        // The dialog is up before the window goes.
        while (bus.PortalCalls().empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        abandon = true;
    });
    const PortalSaveResult result = viewer::RunPortalSaveDialog(KeyRequest(), abandon);
    window.join();
    EXPECT_EQ(result.outcome, PortalSaveResult::Cancelled);
    const std::vector<std::string> calls = bus.PortalCalls();
    ASSERT_EQ(calls.size(), 2u);
    const json close = json::parse(calls[1]);
    EXPECT_EQ(close["call"], "Close");
    EXPECT_NE(close["handle"].get<std::string>().find("/request/"), std::string::npos);
}

TEST(PortalSaveDialog, FiltersAndFileAddresses) {
    EXPECT_EQ(viewer::PortalFilters("Requerimiento (*.req)|*.req|Todos|*.*;*.txt |Solo texto"),
              (std::vector<std::pair<std::string, std::vector<std::string>>>{
                  {"Requerimiento (*.req)", {"*.req"}}, {"Todos", {"*", "*.txt"}}}));
    EXPECT_TRUE(viewer::PortalFilters("").empty());

    struct Case {
        const char* uri;
        const char* path;  // nullptr: refused
    } cases[] = {
        {"file:///home/ana/x.key", "/home/ana/x.key"},
        {"file://localhost/home/ana/x.key", "/home/ana/x.key"},
        {"file:///home/ana/con%20espacio/%C3%B1.key", "/home/ana/con espacio/\xc3\xb1.key"},
        {"file:///a%2", nullptr},
        {"file:///a%zz", nullptr},
        {"file:///a?b", nullptr},
        {"file://host/a", nullptr},
        {"file:relative", nullptr},
        {"http:///a", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> path = viewer::PathOfFileUri(c.uri);
        if (c.path == nullptr)
            EXPECT_FALSE(path) << c.uri;
        else
            EXPECT_EQ(path.value_or("(none)"), c.path) << c.uri;
    }
}

}  // namespace
