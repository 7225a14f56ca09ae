// The messages between the wizard window and the shim of the page it shows.
// Every message is a JSON object in UTF-8; the window's side holds text in
// ISO-8859-1, and the builders and decoders below convert.
//
// Commands, window -> page. The page fetches them by long polling,
// GET /__reqwiz/poll?done=D&have=H (D the last command it finished, H the
// highest it has received), answered {"commands":[...]}; the channel adds
// "seq" to each. The modal ones carry an "id" that the page's answer names.
//
//   type      fields                               the page
//   load      page                                 shows the named page instead
//   follow    url                                  follows a link itself
//   message   id title text icon                   message box; answers true
//   question  id title text icon                   Yes/No; answers true or false
//   save      id filter extension name directory   save dialog; answers the
//                                                  chosen path, or null
//   show      index                                makes a control visible
//   focus     index                                gives a control the focus
//   text      index text                           sets a control's text
//   cursor    wait                                 wait cursor on or off
//   collect   on [need]                            collection overlay on or off;
//                                                  with on, the input events
//                                                  it needs: the page sends
//                                                  the one that completes
//                                                  them at once
//   progress  value                                overlay's bar at value %
//   files     request key same_folder              the final page's band: the
//                                                  full paths of the two files
//                                                  and one button for their
//                                                  folder (same_folder) or one
//                                                  for each
//   close                                          closes the window
//
// `icon` is "error" or "warning"; `index` counts the page's form controls
// in document order, as its hello listed them.
//
// Bodies, page -> window, POST /__reqwiz/<name>, answered 204 (400 when the
// body is not the object below; hello is answered as a poll that does not
// wait, with the commands after `have`):
//
//   name    fields                                 when
//   hello   page controls:[{name visible}]         a page has loaded
//           done have
//   bye     page                                   the page is going away
//   click   name onclick                           a control was clicked
//   submit  action target enctype method lines:[]  a form was submitted;
//                                                  each line "name=value"
//   link    target url                             a link was clicked
//   input   events:[[kind x y key time_ms]]        mouse and key input
//   answer  id result                              a modal command ended
//   open    file                                   the band's button: open
//                                                  the folder of "request"
//                                                  or "key" (never a path:
//                                                  the window knows them)
//   mkdir   path name                              the save dialog's new
//                                                  folder `name` in the
//                                                  folder `path` (answered
//                                                  below)
//
// The save dialog also asks, and is answered in JSON:
//
//   GET /__reqwiz/dir?path=P    {path parent entries:[{name dir size mtime}]
//                               places:[{label path}]}, or {path parent error}
//                               with 404 ("notfound", "notdir") or 403
//                               ("denied"). `size` (bytes) is given for
//                               regular files only, `mtime` (seconds since
//                               1970 UTC) when known. P "" is the dialog's
//                               folder; "~" stands for the home folder.
//   POST mkdir                  201 {path} (the new folder's), or {error}:
//                               400 "empty" "invalid" "toolong" "latin1",
//                               409 "exists", 404 "notfound", 403 "denied"
//                               "readonly", 507 "nospace", 500 "failed".
//
// `page` is the page's own random name for itself. Input kinds: 0 move,
// 1 button down, 2 button up, 3 key down; x and y are page coordinates; key
// is the button (0 left, 1 middle, 2 right; no other counts) of a button
// event and the key code of a key event; time_ms is the page's clock, taken
// modulo 2^32 like a tick count.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/message_loop.h"
#include "platform/page_viewer.h"

namespace viewer::wire {

// ---------------------------------------------------------------------------
// Commands. Text arguments are ISO-8859-1.

nlohmann::json LoadCommand(const std::string& page);
nlohmann::json FollowCommand(const std::string& url);
nlohmann::json MessageCommand(const std::string& title, const std::string& text,
                              platform::MessageIcon icon);
nlohmann::json QuestionCommand(const std::string& title, const std::string& text,
                               platform::MessageIcon icon);
// `directory` is UTF-8: it is the dialog's own, as the page last chose it.
nlohmann::json SaveCommand(const std::string& filter, const std::string& extension,
                           const std::string& name, const std::string& directory);
nlohmann::json ShowCommand(size_t index);
nlohmann::json FocusCommand(size_t index);
nlohmann::json TextCommand(size_t index, const std::string& text);
nlohmann::json CursorCommand(bool wait);
nlohmann::json CollectCommand(bool on, uint32_t need = 0);
// `percent` is clamped to 0..100.
nlohmann::json ProgressCommand(int percent);
// Paths are ISO-8859-1. When both files are in one folder, one button
// opens it; else each file has its own.
nlohmann::json FilesCommand(const std::string& request_path, const std::string& key_path,
                            bool same_folder);
nlohmann::json CloseCommand();

// ---------------------------------------------------------------------------
// Bodies. Each decoder takes the posted text and gives nothing when it is
// not JSON, nests deeper than the page's messages ever do (16 levels), or is
// not an object of the required shape. Text members come back in
// ISO-8859-1 ("" when absent or not text); items of a list that have the
// wrong shape are skipped.

struct Hello {
    std::string page;
    std::vector<platform::FormControlInfo> controls;  // visible unless false
    uint64_t done = 0;  // as for a poll: the last command the page finished
    uint64_t have = 0;  // and the highest it has received
};

struct Bye {
    std::string page;
};

struct Click {
    std::string name;
    std::string on_click;
};

// Carries what the user typed, the access password included: the lines
// are wiped when it is destroyed.
struct Submit {
    Submit() = default;
    Submit(Submit&&) = default;
    Submit& operator=(Submit&&) = delete;
    ~Submit();

    std::string action;
    std::string target;
    std::string enctype;
    std::string method;
    std::vector<std::string> lines;
    // The names of the fields whose value ISO-8859-1 cannot hold; their
    // line holds the value with such characters replaced.
    std::vector<std::string> not_latin1;
};

struct Link {
    std::string target;
    std::string url;
};

struct Answer {
    uint64_t id = 0;
    nlohmann::json result;  // null when absent
};

struct OpenFolder {
    enum Which { Request, Key };
    Which file = Request;
};

// Both members stay UTF-8: they are names on disk, not the window's text.
struct MakeFolder {
    std::string path;
    std::string name;
};

std::optional<Hello> DecodeHello(const std::string& body);
std::optional<Bye> DecodeBye(const std::string& body);
std::optional<Click> DecodeClick(const std::string& body);
// Wipes `body` and every copy made on the way, whatever the outcome.
std::optional<Submit> DecodeSubmit(std::string& body);
std::optional<Link> DecodeLink(const std::string& body);
// At most 2,000 events of a batch are taken; events of the wrong shape or
// kind, and button events of other buttons, are skipped. Numbers are
// clamped to their field's range.
std::optional<std::vector<platform::InputMessage>> DecodeInput(const std::string& body);
// The id must be an unsigned integer.
std::optional<Answer> DecodeAnswer(const std::string& body);
// `file` must be "request" or "key".
std::optional<OpenFolder> DecodeOpenFolder(const std::string& body);

// Both members must be text.
std::optional<MakeFolder> DecodeMakeFolder(const std::string& body);

// A poll's `done` or `have`: decimal digits only, else 0.
uint64_t DecodeCounter(const std::string& text);

}  // namespace viewer::wire
