#include "sim/SimDesktop.h"

#include "app/Commands.h"
#include "chardata/SoftCanvas.h"
#include "placement/Placement.h"

#include <algorithm>

namespace kp::sim {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// A software frame on which no font can be made.
class FontlessFrame : public SoftCanvas {
public:
    using SoftCanvas::SoftCanvas;
    void SelectFont(const FontSpec* font) override {
        if (!font)
            SoftCanvas::SelectFont(nullptr);
    }
};

} // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

int SimSettingsStore::GetInt(const AnsiString& section, const AnsiString& name, int defaultValue) {
    if (m_failReads)
        return defaultValue;
    Section& s = m_sections[section];
    const auto it = s.find(name);
    return (it == s.end() || it->second.isString) ? defaultValue : it->second.number;
}

AnsiString SimSettingsStore::GetString(const AnsiString& section, const AnsiString& name,
                                       const AnsiString& defaultValue) {
    if (m_failReads)
        return defaultValue;
    Section& s = m_sections[section];
    const auto it = s.find(name);
    return (it == s.end() || !it->second.isString) ? defaultValue : it->second.text;
}

void SimSettingsStore::WriteInt(const AnsiString& section, const AnsiString& name, int value) {
    if (m_failWrites) {
        ++m_lostWrites;
        return;
    }
    m_sections[section][name] = Value{false, value, {}};
    m_writes.push_back(section + "/" + name + "=" + std::to_string(value));
}

void SimSettingsStore::WriteString(const AnsiString& section, const AnsiString& name,
                                   const AnsiString& value) {
    if (m_failWrites) {
        ++m_lostWrites;
        return;
    }
    m_sections[section][name] = Value{true, 0, value};
    m_writes.push_back(section + "/" + name + "=\"" + value + "\"");
}

const SimSettingsStore::Value* SimSettingsStore::Find(const AnsiString& section,
                                                      const AnsiString& name) const {
    const auto s = m_sections.find(section);
    if (s == m_sections.end())
        return nullptr;
    const auto v = s->second.find(name);
    return v == s->second.end() ? nullptr : &v->second;
}

void SimFileSystem::AddFile(const AnsiString& path, std::vector<BYTE> bytes) {
    for (auto& f : m_files) {
        if (EqualNoCase(f.first, path)) {
            f.second = std::move(bytes);
            return;
        }
    }
    m_files.emplace_back(path, std::move(bytes));
}

void SimFileSystem::Remove(const AnsiString& path) {
    m_files.erase(std::remove_if(m_files.begin(), m_files.end(),
                                 [&](const auto& f) { return EqualNoCase(f.first, path); }),
                  m_files.end());
}

bool SimFileSystem::ReadWholeFile(const AnsiString& path, ByteBlock& out) {
    for (const auto& l : m_locked)
        if (EqualNoCase(l, path))
            return false;
    for (const auto& f : m_files) {
        if (EqualNoCase(f.first, path)) {
            out.Allocate(f.second.size());
            std::copy(f.second.begin(), f.second.end(), out.data.get());
            return true;
        }
    }
    return false;
}

std::vector<AnsiString> SimFileSystem::FindFiles(const AnsiString& pattern) {
    ++m_findCalls;
    const std::size_t star = pattern.rfind('*');
    std::vector<AnsiString> names;
    if (star == AnsiString::npos)
        return names;
    const AnsiString dir = pattern.substr(0, star);
    const AnsiString ext = pattern.substr(star + 1);
    for (const auto& f : m_files) {
        const AnsiString& p = f.first;
        if (p.size() < dir.size() + ext.size() || !EqualNoCase(p.substr(0, dir.size()), dir))
            continue;
        const AnsiString name = p.substr(dir.size());
        if (name.find('\\') != AnsiString::npos || name.size() <= ext.size())
            continue;
        if (EqualNoCase(name.substr(name.size() - ext.size()), ext))
            names.push_back(name);
    }
    return names;
}

MessageResult SimUi::ShowMessage(const Utf8String& text, MessageStyle style) {
    if (m_quitPending && m_quitPending()) {
        m_shown.push_back({text, style, false});
        return MessageResult::Cancel;
    }
    m_shown.push_back({text, style});
    if (m_whileMessageOpen)
        m_whileMessageOpen();
    if (!m_answers.empty()) {
        const MessageResult r = m_answers.front();
        m_answers.pop_front();
        return r;
    }
    return style == MessageStyle::OkExclamation ? MessageResult::Ok : MessageResult::No;
}

bool SimUi::ChooseFileToOpen(const Utf8String& title, Utf8String& path) {
    m_fileDialogs.push_back(title);
    if (m_fileChoices.empty())
        return false;
    path = m_fileChoices.front();
    m_fileChoices.pop_front();
    if (path.empty())
        return false;
    if (m_onFileChosen)
        m_onFileChosen(path);
    return true;
}

int SimUi::RunDialog(int templateId, IDialogLogic& logic) {
    WindowId id = 0;
    if (m_desktop) {
        SimDesktopWindows::Window w;
        w.title = "dialog " + std::to_string(templateId);
        w.className = "#32770";
        id = m_desktop->Add(w);
        m_desktop->SetForeground(id);
    }
    const std::set<int> edits =
        templateId == IDD_SETTINGS ? std::set<int>{IDC_POSITION_EDIT, IDC_TRANS_EDIT} : std::set<int>{};
    auto controls = std::make_shared<SimDialogControls>(logic, id, edits);
    logic.OnInitDialog(*controls);
    SimDialogControls* const outer = m_running;
    m_running = controls.get();
    auto& scripts = m_dialogScripts[templateId];
    if (!scripts.empty()) {
        const DialogScript script = std::move(scripts.front());
        scripts.pop_front();
        script(logic, *controls);
    }
    m_running = outer;
    controls->Click(kIdCancel);
    const int result = controls->Ended() ? controls->Result() : kIdCancel;
    if (m_desktop)
        m_desktop->Remove(id);
    m_dialogs.push_back({templateId, result, controls});
    return result;
}

void SimUi::EndRunningDialog(int result) {
    if (m_running && !m_running->Ended())
        m_running->EndDialog(result);
}

bool SimWindow::Create(const WindowCreateParams& params) {
    m_calls.push_back("Create " + params.title + " " + std::to_string(params.width) + "x" +
                      std::to_string(params.height) + (params.layered ? " layered" : ""));
    if (m_refuseCreate)
        return false;
    m_params = params;
    m_exists = true;
    if (m_desktop) {
        SimDesktopWindows::Window w;
        w.title = params.title;
        w.className = kWindowClass;
        w.rect = Rect{0, 0, params.width, params.height};
        w.visible = false;
        w.layered = params.layered;
        m_id = m_desktop->Add(w);
    }
    return true;
}

std::unique_ptr<ICanvas> SimWindow::CreateFrame(int width, int height) {
    m_calls.push_back("CreateFrame " + std::to_string(width) + "x" + std::to_string(height));
    if (m_refuseFrame)
        return nullptr;
    if (m_refuseFonts)
        return std::make_unique<FontlessFrame>(width, height);
    return std::make_unique<SoftCanvas>(width, height);
}

void SimWindow::Repaint() {
    m_calls.push_back("Repaint");
    ++m_repaints;
}

void SimWindow::Destroy() {
    m_calls.push_back("Destroy");
    if (m_desktop)
        m_desktop->Remove(m_id);
    m_exists = false;
    m_destroyed = true;
    m_timers.clear();
}

void SimWindow::SetTimer(int id, unsigned milliseconds) {
    m_calls.push_back("SetTimer " + std::to_string(id) + " " + std::to_string(milliseconds));
    if (m_exists) // a window timer needs its window, as on Win32
        m_timers[id] = milliseconds;
}

void SimWindow::KillTimer(int id) {
    m_calls.push_back("KillTimer " + std::to_string(id));
    m_timers.erase(id);
}

void SimWindow::Hide() {
    m_calls.push_back("Hide");
    m_visible = false;
    if (m_desktop)
        if (SimDesktopWindows::Window* w = m_desktop->Find(m_id))
            w->visible = false;
}

void SimWindow::SetWindowRegion(const RectRegion& region) {
    m_calls.push_back("SetWindowRegion " + std::to_string(region.RectCount()) + " rects");
    m_region = region;
}

void SimWindow::TrackPopupMenu(const PopupMenu& menu, Point screenPoint) {
    m_calls.push_back("TrackPopupMenu " + std::to_string(screenPoint.x) + "," +
                      std::to_string(screenPoint.y));
    m_menus.push_back(menu);
    if (m_whileMenuOpen)
        m_whileMenuOpen();
    if (m_menuChoices.empty())
        return;
    const unsigned choice = m_menuChoices.front();
    m_menuChoices.pop_front();
    if (choice != 0)
        m_postedCommands.push_back(choice);
}

void SimWindow::RunMoveLoop(Point clientPoint) {
    m_calls.push_back("RunMoveLoop " + std::to_string(clientPoint.x) + "," + std::to_string(clientPoint.y));
    Point d;
    if (!m_drags.empty()) {
        d = m_drags.front();
        m_drags.pop_front();
    }
    if (m_desktop) {
        m_desktop->m_cursor = Point{m_desktop->m_cursor.x + d.x, m_desktop->m_cursor.y + d.y};
        if (SimDesktopWindows::Window* w = m_desktop->Find(m_id))
            w->rect = Rect{w->rect.left + d.x, w->rect.top + d.y, w->rect.right + d.x, w->rect.bottom + d.y};
    }
    if (m_duringMoveLoop)
        m_duringMoveLoop();
}

int SimWindow::Dpi() {
    if (m_dpiUnknown)
        return 0;
    if (!m_desktop)
        return m_dpi;
    return m_desktop->MonitorDpi(m_exists ? m_id : 0);
}

int SimWindow::DeliverPostedCommands() {
    int delivered = 0;
    while (!m_postedCommands.empty()) {
        const unsigned id = m_postedCommands.front();
        m_postedCommands.pop_front();
        if (m_events)
            m_events->OnCommand(id);
        ++delivered;
    }
    return delivered;
}

void SimSound::PlayWave(const BYTE*, std::size_t size) {
    m_calls.push_back("wave " + std::to_string(size) + " bytes" + (m_fail ? " failed" : ""));
}

void SimSound::PlayNamed(const AnsiString& name) {
    m_calls.push_back("named " + name + (m_fail ? " failed" : ""));
}

void SimSound::StopAll() {
    m_calls.push_back("stop");
}

} // namespace kp::sim
