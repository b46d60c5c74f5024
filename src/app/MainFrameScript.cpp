// The action script as the character window runs it: the interpreter's host is the window
// itself, its canvas, its platform services and the application's settings.
#include "app/MainFrame.h"

#include "app/Scale.h"
#include <utility>

namespace kp {

class FrameScriptHost final : public IScriptHost {
public:
    explicit FrameScriptHost(CMainFrame& frame) : m_frame(frame) {}

    const CharacterFile& ScriptFile() const override { return m_frame.File(); }

    void DrawCell(WORD cell) override { m_frame.DrawCell(cell); }
    WORD CreateMaskRgn(BYTE kind, WORD cell) override { return m_frame.CreateMaskRgn(kind, cell); }
    void SetShape(WORD slot) override { m_frame.SetShape(slot); }
    void FreeMaskRegions() override { m_frame.FreeMaskRegions(); }
    void ReplacePalette(WORD cell) override { m_frame.ReplacePalette(cell); }
    void WriteText(int x, int y, const AnsiString& text) override {
        if (!m_frame.m_pCanvas)
            return;
        m_frame.m_stepRecord.Text(x, y, text);
        m_frame.m_pCanvas->TextOut(x, y, text);
    }
    void UseFont(const FontSpec* font) override {
        if (!m_frame.m_pCanvas)
            return;
        m_frame.m_stepRecord.Font(font);
        m_frame.m_pCanvas->SelectFont(font);
    }

    void Track() override { m_frame.Track(); }
    void HideWindow() override { m_frame.m_window.Hide(); }
    void SetFrameTimer(unsigned milliseconds) override {
        m_frame.m_window.SetTimer(kFrameTimer, milliseconds);
    }
    void KillFrameTimer() override { m_frame.m_window.KillTimer(kFrameTimer); }

    void PlayWave(const BYTE* wave, std::size_t size) override {
        if (ISound* sound = m_frame.m_app.Services().sound)
            sound->PlayWave(wave, size);
    }
    void PlaySoundFile(const AnsiString& name) override {
        if (ISound* sound = m_frame.m_app.Services().sound)
            sound->PlayNamed(name);
    }
    void StartProgram(const AnsiString& commandLine) override {
        if (IProgramStarter* programs = m_frame.m_app.Services().programs)
            programs->StartProgram(commandLine);
    }
    int ReadSetting(const AnsiString& entry, int defaultValue) override {
        return m_frame.m_app.GetProfileInt(m_frame.m_app.m_strCharName, entry, defaultValue);
    }
    void WriteSetting(const AnsiString& entry, int value) override {
        m_frame.m_app.WriteProfileInt(m_frame.m_app.m_strCharName, entry, value);
    }

    // In the character's own pixels, which the script compares with its cells' places.
    Point CursorInClient() override {
        const Point p = m_frame.m_window.CursorInClient();
        return Point{UnscaleCoordinate(p.x, m_frame.m_nScale), UnscaleCoordinate(p.y, m_frame.m_nScale)};
    }
    LocalTime LocalNow() override { return m_frame.m_app.Services().system.GetLocalTime(); }
    BOOL AutoAnimation() override { return m_frame.m_app.m_bAutoAnimation; }
    int Rand() override { return m_frame.m_app.Rand(); }

private:
    CMainFrame& m_frame;
};

void CMainFrame::CreateScriptEngine() {
    m_pScriptHost = std::make_unique<FrameScriptHost>(*this);
    m_pEngine = std::make_unique<CScriptEngine>(*this, *m_pScriptHost);
}

void CMainFrame::StopScriptSounds() {
    if (m_pData)
        if (ISound* sound = m_app.Services().sound)
            sound->StopAll();
}

void CMainFrame::RunScript(ICanvas& dc) {
    ICanvas* const previous = m_pCanvas;
    m_pCanvas = &dc;
    std::swap(m_stepRecord, m_lastStepRecord);
    m_stepRecord.Begin(m_nPaletteGeneration);
    m_pEngine->RunScript();
    m_pCanvas = previous;
}

void CMainFrame::OnPatternMenu(unsigned nID) {
    m_pEngine->OnPatternMenu(nID);
}

} // namespace kp
