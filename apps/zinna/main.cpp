// Zinna on Windows: the companion itself. One instance per session. A restore journal left by an
// earlier run that did not end in order is applied first; then the main window's start-up runs,
// then the message loop until the program ends. "zinna.exe /restore" only applies the journal;
// /?, --help, --version and a usage mistake are answered before anything else.
#include "platform/win32/windows_api.h"
#include <objbase.h>
#include <shellapi.h>

#include "cli/program_command_line.h"
#include "lifecycle/program_constants.h"
#include "lifecycle/zinna_form.h"
#include "platform/journal/journaling_module.h"
#include "platform/win32/single_instance.h"
#include "platform/win32/win32_journal.h"
#include "platform/win32/win32_module.h"
#include "platform/win32/win32_toolkit.h"
#include "platform/win32/wide_text.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

// The character control is an apartment-threaded COM object living on this one thread.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~ComApartment() {
        if (initialised_) OleUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

// The arguments after the program's name, as UTF-8.
std::vector<std::string> Arguments(const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine, &count);
    std::vector<std::string> result;
    if (arguments == nullptr) return result;
    for (int i = 1; i < count; ++i) result.push_back(zinna::win32::Utf8FromWide(arguments[i]));
    LocalFree(arguments);
    return result;
}

// A program of the Windows subsystem has no console of its own: the text goes to the standard
// handle it was given (a pipe or a file), else to the console of the prompt that started it.
void Print(DWORD standardHandle, const std::string& text) {
    HANDLE output = GetStdHandle(standardHandle);
    HANDLE console = INVALID_HANDLE_VALUE;
    if ((output == nullptr || output == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
        output = console;
    }
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
}

// The journal's place when Windows names no folder for local application data: nothing to read,
// and nothing can be written, which stops her first change to the desktop as any unwritable
// journal does.
class NoJournalFolder final : public zinna::journal::JournalFile {
public:
    zinna::journal::FileContents Read(std::size_t) override { return {}; }
    bool Write(std::span<const std::uint8_t>) override { return false; }
    bool Remove() override { return true; }
    bool SetAside() override { return false; }
    std::string Describe() const override { return "the restore journal"; }
    std::string Problem() const override { return "there is no folder for local application data (%LOCALAPPDATA%)"; }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using zinna::cli::ProgramAction;
    const zinna::cli::ProgramCommand command =
        zinna::cli::ParseProgramCommandLine(Arguments(GetCommandLineW()), zinna::cli::OptionStyle::Windows);
    if (command.action == ProgramAction::Print) {
        Print(STD_OUTPUT_HANDLE, command.text);
        return 0;
    }
    if (command.action == ProgramAction::Refuse) {
        Print(STD_ERROR_HANDLE, command.text);
        return 2;
    }

    // A second Zinna leaves the desktop, and the journal, to the first one and touches nothing.
    const zinna::win32::SingleInstance singleInstance;
    if (!singleInstance.IsFirst()) return 0;

    zinna::win32::Win32Module module;
    // Without a folder for it (no local application data) the journal can be neither read nor
    // written: the start says so, as it does for any journal that cannot be written.
    const auto journalPath = zinna::journal::DefaultJournalPath();
    const std::unique_ptr<zinna::journal::JournalFile> journalFile =
        journalPath ? zinna::journal::OpenJournalFile(*journalPath) : std::make_unique<NoJournalFolder>();
    const std::string desktopName = zinna::win32::CurrentDesktopName();
    // The program's desktop key and wallpaper name, which the journal knows only from here.
    const zinna::journal::ProgramDesktop program{zinna::kDesktopKeyPath, zinna::kWallpaperFile,
                                                 zinna::win32::DefaultDesktopColor()};
    zinna::journal::RestoreJournal::Hooks hooks;
    hooks.readUserDesktop = [&module, desktopName, program] {
        return zinna::journal::ReadDesktopThrough(module, desktopName, program);
    };
    hooks.report = zinna::win32::ReportJournalNotice;
    zinna::journal::RestoreJournal journal(
        *journalFile, module, zinna::journal::JournalDesktop{desktopName, "registry"}, program, std::move(hooks));
    journal.Recover();  // before the program reads anything
    if (command.action == ProgramAction::Restore) {
        // The notice above said what happened; a desktop not given back whole is a failure, so an
        // uninstall or a script that asked can tell.
        if (!journalPath) {
            Print(STD_ERROR_HANDLE,
                  "zinna: there is no folder for local application data (%LOCALAPPDATA%), so no "
                  "restore journal can be read\n");
            return 1;
        }
        const bool givenBack = journal.DesktopGivenBack();
        if (!givenBack)
            Print(STD_ERROR_HANDLE, "zinna: the desktop was not given back whole; its restore journal: " +
                                        zinna::win32::Utf8FromWide(journalPath->wstring()) + "\n");
        return givenBack ? 0 : 1;
    }

    const ComApartment apartment;
    zinna::journal::JournalingModule programModule(module, journal);
    zinna::win32::Win32Toolkit toolkit(instance, "Zinna");
    zinna::ZinnaForm form(toolkit, programModule);
    toolkit.SetSessionEndingHandler([&form] { form.Dispatch().SessionEnding(); });
    toolkit.SetDesktopRescue([&form] { form.Dispatch().EndAfterEscapedError(); });
    toolkit.SetEndHandler([&journal](zinna::EndReason) { journal.ProgramEnded(); });

    form.Dispatch().Start();
    return toolkit.RunMessageLoop();
}
