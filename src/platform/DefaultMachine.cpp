#include "platform/DefaultMachine.h"

#include "base/AtomicFile.h"
#include "base/Module.h"
#include "base/NumberText.h"
#include "base/SafePath.h"
#include "platform/EmulatedMachine.h"
#include "platform/MachineCommit.h"
#include "platform/MachineFacts.h"
#include "platform/MachineStorage.h"
#include "platform/MetabaseValues.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

namespace {

using TTexts = std::vector<std::u16string>;

TOleVariant Bytes(std::initializer_list<int> values) {
    std::vector<TOleVariant> items;
    for (int v : values)
        items.emplace_back(static_cast<int32_t>(v));
    return TOleVariant(std::move(items));
}

TOleVariant IPSecurity(bool grantByDefault, TTexts deny, TTexts grant) {
    auto ipsec = std::make_shared<TIPSecurityObject>();
    ipsec->GrantByDefault = grantByDefault;
    ipsec->IPDeny = std::move(deny);
    ipsec->IPGrant = std::move(grant);
    return TAutoObjectPtr(ipsec);
}

TMetaObject& Key(TMetaObject& parent, std::u16string name, std::u16string className) {
    TMetaObject& child = parent.AddChild(std::move(name), className);
    child.SetValue(u"KeyType", className);
    return child;
}

void Set(TMetaObject& key, std::initializer_list<std::pair<std::u16string_view, TOleVariant>> values) {
    for (const auto& [id, value] : values)
        key.SetValue(id, value);
}

TMetaObject& VirtualDir(TMetaObject& parent, std::u16string name, std::u16string path) {
    TMetaObject& dir = Key(parent, std::move(name), u"IIsWebVirtualDir");
    dir.SetValue(u"Path", std::move(path));
    return dir;
}

TMetaObject& Application(TMetaObject& dir, const std::u16string& appRoot, std::u16string name, std::u16string pool) {
    Set(dir, {{u"AppRoot", appRoot}, {u"AppFriendlyName", std::move(name)}, {u"AppIsolated", 2}, {u"AppPoolId", std::move(pool)}});
    return dir;
}

TMetaObject& Site(TMetaObject& service, const std::u16string& id, std::u16string comment, TTexts bindings) {
    TMetaObject& site = Key(service, id, u"IIsWebServer");
    Set(site, {{u"ServerComment", std::move(comment)}, {u"ServerBindings", TextArray(bindings)}, {u"ServerState", 2},
               {u"ServerAutoStart", true}, {u"ServerSize", 1}});
    Key(site, u"filters", u"IIsFilters").SetValue(u"FilterLoadOrder", std::u16string());
    return site;
}

void BuildWebService(TMetaObject& root, const std::u16string& computerName) {
    TMetaObject& mime = Key(root, u"MimeMap", u"IIsMimeMap");
    mime.SetValue(u"MimeMap", TextArray({u".htm,text/html", u".html,text/html", u".txt,text/plain", u".css,text/css",
                                         u".gif,image/gif", u".jpg,image/jpeg", u".js,application/x-javascript",
                                         u".xml,text/xml", u".zip,application/x-zip-compressed"}));

    TMetaObject& w3 = Key(root, u"W3SVC", u"IIsWebService");
    Set(w3, {
        {u"MaxConnections", 1000}, {u"ConnectionTimeout", 120}, {u"AllowKeepAlive", true},
        {u"AnonymousUserName", u"IUSR_" + computerName}, {u"AnonymousUserPass", u"Xq7!vR2p#Lm9"},
        {u"WAMUserName", u"IWAM_" + computerName}, {u"WAMUserPass", u"Wk3$zT8n@Qs1"},
        {u"AuthFlags", 5}, {u"AuthAnonymous", true}, {u"AuthNTLM", true}, {u"AccessFlags", 513}, {u"AccessRead", true},
        {u"AccessScript", true}, {u"DirBrowseFlags", 1073741886}, {u"EnableDefaultDoc", true},
        {u"DefaultDoc", u"Default.htm,Default.asp,index.htm,Default.aspx"}, {u"AspScriptLanguage", u"VBScript"},
        {u"AspSessionTimeout", 20}, {u"AspScriptTimeout", 90}, {u"AspBufferingOn", true},
        {u"AspDiskTemplateCacheDirectory", u"%windir%\\system32\\inetsrv\\ASP Compiled Templates"},
        {u"LogType", 1}, {u"LogFilePeriod", 1}, {u"LogFileDirectory", u"C:\\WINDOWS\\system32\\LogFiles"},
        {u"LogPluginClsid", u"{FF160663-DE82-11CF-BC0A-00AA006111E0}"}, {u"AppPoolId", u"DefaultAppPool"},
        {u"ScriptMaps", TextArray({u".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE",
                                   u".asa,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE",
                                   u".shtml,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST",
                                   u".aspx,C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll,1,GET,HEAD,POST,DEBUG"})},
        {u"HttpErrors", TextArray({u"404,*,FILE,C:\\WINDOWS\\help\\iisHelp\\common\\404b.htm",
                                   u"500,100,URL,/iisHelp/common/500-100.asp"})},
        {u"InProcessIsapiApps", TextArray({u"C:\\WINDOWS\\system32\\inetsrv\\httpext.dll",
                                           u"C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll"})},
        {u"IPSecurity", IPSecurity(true, {}, {})},
        {u"WebSvcExtRestrictionList",
         TextArray({u"0,*.dll", u"0,*.exe", u"1,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,0,ASP,Active Server Pages",
                    u"0,C:\\WINDOWS\\system32\\inetsrv\\httpodbc.dll,0,HTTPODBC,Internet Data Connector",
                    u"0,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,0,SSINC,Server Side Includes",
                    u"0,C:\\WINDOWS\\system32\\inetsrv\\httpext.dll,0,WEBDAV,WebDAV",
                    u"1,C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll,1,ASP.NET v2.0.50727,ASP.NET v2.0.50727"})},
        {u"AdminACL", TextArray({u"BUILTIN\\Administrators", u"NT AUTHORITY\\SYSTEM"})},
    });

    TMetaObject& info = Key(w3, u"Info", u"IIsWebInfo");
    Set(info, {{u"ServerConfigFlags", 1}, {u"AdminServer", u"3"},
               {u"CustomErrorDescriptions", TextArray({u"400,*,1,Bad Request", u"404,*,1,File or directory not found",
                                                       u"500,100,0,Internal server error - ASP error"})}});

    TMetaObject& filters = Key(w3, u"Filters", u"IIsFilters");
    filters.SetValue(u"FilterLoadOrder", std::u16string(u"Compression,ASP.NET_2.0.50727.0"));
    TMetaObject& compression = Key(filters, u"Compression", u"IIsCompressionSchemes");
    Set(compression, {{u"HcDoDynamicCompression", false}, {u"HcDoStaticCompression", false},
                      {u"HcCompressionDirectory", u"%windir%\\IIS Temporary Compressed Files"},
                      {u"HcMaxDiskSpaceUsage", 99614720}, {u"HcMinFileSizeForComp", 1}});
    for (const auto& [scheme, flags] : {std::pair<std::u16string, int>{u"gzip", 1}, {u"deflate", 0}}) {
        TMetaObject& s = Key(compression, scheme, u"IIsCompressionScheme");
        Set(s, {{u"HcCompressionDll", u"%windir%\\system32\\inetsrv\\gzip.dll"},
                {u"HcFileExtensions", TextArray({u"htm", u"html", u"txt"})},
                {u"HcScriptFileExtensions", TextArray({u"asp", u"dll", u"exe"})}, {u"HcPriority", 1},
                {u"HcDynamicCompressionLevel", 0}, {u"HcOnDemandCompLevel", 10}, {u"HcCreateFlags", flags}});
    }
    TMetaObject& aspnet = Key(filters, u"ASP.NET_2.0.50727.0", u"IIsFilter");
    Set(aspnet, {{u"FilterPath", u"C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_filter.dll"},
                 {u"FilterDescription", u"ASP.NET 2.0.50727.0"}, {u"FilterFlags", 0x40000003}, {u"FilterState", 1},
                 {u"FilterEnabled", true}});

    TMetaObject& pools = Key(w3, u"AppPools", u"IIsApplicationPools");
    Set(pools, {{u"PeriodicRestartTime", 1740}, {u"IdleTimeout", 20}, {u"MaxProcesses", 1}, {u"AppPoolIdentityType", 2},
                {u"PingingEnabled", true}, {u"RapidFailProtection", true}, {u"AppPoolQueueLength", 1000}});
    Key(pools, u"DefaultAppPool", u"IIsApplicationPool").SetValue(u"AppPoolQueueLength", 4000);
    TMetaObject& intranetPool = Key(pools, u"IntranetPool", u"IIsApplicationPool");
    Set(intranetPool, {{u"AppPoolIdentityType", 3}, {u"WAMUserName", u"CORP\\svc-intranet"},
                       {u"WAMUserPass", u"Pool#Secret1"}, {u"PeriodicRestartTime", 0}});
}

void BuildDefaultSites(TMetaObject& w3) {
    TMetaObject& site1 = Site(w3, u"1", u"Default Web Site", {u":80:"});
    TMetaObject& root1 = Application(VirtualDir(site1, u"ROOT", u"C:\\Inetpub\\wwwroot"), u"/LM/W3SVC/1/ROOT",
                                     u"Default Application", u"DefaultAppPool");
    Key(root1, u"images", u"IIsWebDirectory").SetValue(u"AccessFlags", 1);
    VirtualDir(root1, u"Scripts", u"C:\\Inetpub\\scripts").SetValue(u"AccessFlags", 516);
    VirtualDir(root1, u"Printers", u"C:\\WINDOWS\\web\\printers").SetValue(u"EnableDirBrowsing", false);

    TMetaObject& site2 = Site(w3, u"2", u"Intranet", {u"192.168.10.5:80:intranet.example.local"});
    Set(site2, {{u"SecureBindings", TextArray({u"192.168.10.5:443:"})}, {u"SSLStoreName", u"MY"},
                {u"SSLCertHash", Bytes({0x3f, 0x9a, 0x01, 0xc4, 0x7e, 0x55, 0x00, 0xff, 0x12, 0x8b})},
                {u"AuthFlags", 4}, {u"AuthAnonymous", false},
                {u"IPSecurity", IPSecurity(false, {}, {u"192.168.10.0, 255.255.255.0", u"10.0.0.1, 255.255.255.255"})}});
    TMetaObject& root2 = Application(VirtualDir(site2, u"ROOT", u"D:\\Sites\\Intranet"), u"/LM/W3SVC/2/ROOT",
                                     u"Intranet", u"IntranetPool");
    Set(VirtualDir(root2, u"docs", u"D:\\Sites\\Intranet\\Documents"), {{u"EnableDirBrowsing", true}, {u"AccessFlags", 1}});
    Set(VirtualDir(root2, u"reports", u"\\\\fileserver\\reports"),
        {{u"UNCUserName", u"CORP\\reports"}, {u"UNCPassword", u"Rp!2024#share"}});
    Application(Key(root2, u"app", u"IIsWebDirectory"), u"/LM/W3SVC/2/ROOT/app", u"app", u"IntranetPool");
}

void BuildLogging(TMetaObject& root) {
    TMetaObject& logging = Key(root, u"Logging", u"IIsLogModules");
    Set(Key(logging, u"Microsoft IIS Log File Format", u"IIsLogModule"),
        {{u"LogModuleId", u"{FF160657-DE82-11CF-BC0A-00AA006111E0}"}, {u"LogModuleUiId", u"{31DCAB85-BB3E-11D0-9299-00C04FB6678B}"}});
    Set(Key(logging, u"W3C Extended Log File Format", u"IIsLogModule"),
        {{u"LogModuleId", u"{FF160663-DE82-11CF-BC0A-00AA006111E0}"}, {u"LogModuleUiId", u"{31DCAB86-BB3E-11D0-9299-00C04FB6678B}"}});
}

TMachineState BuildBaseMachine(const std::u16string& computerName) {
    TMachineState state;
    state.Facts.ComputerName = computerName;
    state.Facts.IPv4Addresses = {u"192.168.10.5", u"10.0.0.20"};
    state.Facts.Registry = {
        {u"Software\\Microsoft\\InetStp", u"MajorVersion", 6},
        {u"Software\\Microsoft\\InetStp", u"MinorVersion", 0},
        {u"Software\\Microsoft\\InetStp", u"PathWWWRoot", u"C:\\Inetpub\\wwwroot"},
        {u"Software\\Microsoft\\InetStp", u"SetupString", u"IIS 6.0"},
    };
    state.Metabase = std::make_unique<TMetabase>();
    BuildWebService(state.Metabase->Root(), computerName);
    BuildLogging(state.Metabase->Root());

    auto pop3 = std::make_unique<TPop3State>();
    pop3->AuthMethods = StandardPop3AuthMethods();
    pop3->CurrentAuthMethod = 1;
    pop3->Domains = {
        {u"example.com", 0, {{u"alice", 0, true}, {u"bob", 1, true}, {u"postmaster", 0, true}}},
        {u"lists.example.com", 1, {}},
    };
    pop3->SmtpDomains = {u"relay.example.com"};
    state.Pop3 = std::move(pop3);
    return state;
}

} // namespace

TMachineState BuildDefaultMachineState(const std::u16string& computerName) {
    TMachineState state = BuildBaseMachine(computerName);
    BuildDefaultSites(*state.Metabase->Find(u"W3SVC"));
    return state;
}

void CreateDefaultMachineDrives(const std::filesystem::path& folder, int handle) {
    for (std::u16string_view path : {u"C:\\Inetpub\\wwwroot", u"C:\\Inetpub\\scripts", u"C:\\Inetpub\\mailroot\\Mailbox",
                                     u"C:\\WINDOWS\\system32\\LogFiles", u"C:\\WINDOWS\\web\\printers",
                                     u"D:\\Sites\\Intranet\\Documents", u"D:\\Sites\\Intranet\\app"})
        CreateDriveFolder(folder, handle, path);
    for (std::u16string_view file :
         {u"C:\\Inetpub\\wwwroot\\iisstart.htm", u"C:\\WINDOWS\\system32\\inetsrv\\asp.dll",
          u"C:\\WINDOWS\\system32\\inetsrv\\httpodbc.dll", u"C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll",
          u"C:\\WINDOWS\\system32\\inetsrv\\httpext.dll", u"C:\\WINDOWS\\system32\\inetsrv\\gzip.dll",
          u"C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_isapi.dll",
          u"C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\aspnet_filter.dll",
          u"C:\\WINDOWS\\help\\iisHelp\\common\\404b.htm"})
        CreateDriveFile(folder, handle, file);
}

namespace {

std::atomic<TInstallWatch> gInstallWatch{nullptr};

void Reached(TInstallStep step) {
    if (const TInstallWatch watch = gInstallWatch.load())
        watch(step);
}

[[noreturn]] void CannotMake(const std::filesystem::path& folder, const std::string& reason) {
    throw EMachineFilesError("Cannot make the machine folder \"" + folder.string() + "\": " + reason);
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

// The mark of an install that is not complete: a file "Install.tmp-<pid>-<number>"
// holding this text (or a start of it: the process may have been killed while it
// wrote it), of root or ours, in the folder being installed. An empty one marks
// nothing: the process was killed as it made it, and it is no more than nothing.
constexpr std::string_view kInstallMark = kInstallMarkFile;
constexpr std::string_view kInstallMarkText = "Orvex is installing the local machine in this folder.\n";

// The marks in the folder at handle of installs whose process is gone (of process
// only, when it is not 0), and apart from them the empty ones.
struct TInstallMarks {
    std::vector<std::string> Marks, Empty;
};
TInstallMarks InterruptedInstallMarks(int handle, int process = 0) {
    TInstallMarks found;
    ForEachNameIn(handle, [&](const std::string& name) {
        if (!name.starts_with(std::string(kInstallMark) + ".tmp-") || !IsStaleTemporary(name) ||
            (process && TemporaryFileOwner(name) != process))
            return true;
        std::string text, why;
        struct stat info {};
        if (ReadRegularFileAt(handle, name, kInstallMarkText.size(), text, why, O_NOFOLLOW, &info) == 0 &&
            IsTrustedOwner(info.st_uid) && kInstallMarkText.starts_with(text))
            (text.empty() ? found.Empty : found.Marks).push_back(name);
        return true;
    });
    return found;
}

// Removes what installs of the folder name in the folder at holding left when
// their process was killed: temporary folders named for it, of root or ours and
// not links, that hold the mark of the install that made them, or nothing (it was
// killed before it marked it) but its empty mark.
void RemoveInterruptedInstalls(int holding, const std::string& name) {
    ForEachNameIn(holding, [&](const std::string& leftover) {
        if (!leftover.starts_with(name) || leftover.rfind(".tmp-") != name.size() || !IsStaleTemporary(leftover))
            return true;
        const TFileHandle folder(::openat(holding, leftover.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (folder.Get() < 0 || ::fstat(folder.Get(), &info) != 0 || !IsTrustedOwner(info.st_uid))
            return true;
        const TInstallMarks marks = InterruptedInstallMarks(folder.Get(), TemporaryFileOwner(leftover));
        if (!marks.Marks.empty()) {
            RemoveTreeAt(holding, leftover);
            return true;
        }
        for (const std::string& mark : marks.Empty)
            ::unlinkat(folder.Get(), mark.c_str(), 0);
        ::unlinkat(holding, leftover.c_str(), AT_REMOVEDIR);  // only when it is empty
        return true;
    });
}

// Makes every folder below the folder at handle durable, and that folder: 0, else
// the error of the first that failed.
int SyncTree(int handle) {
    int failure = 0;
    ForEachNameIn(handle, [&](const std::string& name) {
        struct stat info {};
        if (::fstatat(handle, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)) {
            const TFileHandle folder(::openat(handle, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            failure = folder.Get() < 0 ? errno : SyncTree(folder.Get());
        }
        return failure == 0;
    });
    return failure ? failure : SyncFolder(handle, "");
}

// Writes the default machine and its drives into the folder at handle, its mark
// first and Machine.xml last, and makes it durable; the mark stays. Its name.
std::string BuildDefaultMachine(const std::filesystem::path& folder, const std::filesystem::path& shown, int handle) {
    std::string mark;
    try {
        mark = WriteTemporaryFileAt(handle, std::string(kInstallMark), nullptr, kInstallMarkText,
                                    (shown / kInstallMark).string())
                   .Name;
        Reached(TInstallStep::isMarked);
        CreateDefaultMachineDrives(shown, handle);
        Reached(TInstallStep::isDrives);
        SaveMachineState(shown, handle, BuildDefaultMachineState(ComputerName()));
        Reached(TInstallStep::isFiles);
    } catch (const std::exception& e) {
        CannotMake(folder, e.what());
    }
    if (const int error = SyncTree(handle))
        CannotMake(folder, ErrorText(error));
    Reached(TInstallStep::isDurable);
    return mark;
}

// Removes the marks of installs in the whole machine folder at handle, ours and
// those of interrupted ones. Not synced: a mark that comes back after a crash lies
// beside Machine.xml, where the next open's recovery removes it.
void RemoveInstallMarks(int handle, const std::string& ours) {
    const TInstallMarks marks = InterruptedInstallMarks(handle);
    for (const auto* names : {&marks.Marks, &marks.Empty})
        for (const std::string& mark : *names)
            ::unlinkat(handle, mark.c_str(), 0);
    ::unlinkat(handle, ours.c_str(), 0);
}

// An install's temporary folder, removed with all it holds unless it was put in place.
struct TInstallFolder {
    int Holding;
    std::string Name;
    ~TInstallFolder() {
        if (!Name.empty())
            RemoveTreeAt(Holding, Name);
    }
};

} // namespace

void MakeMachineFolder(const std::filesystem::path& folder) {
    try {
        MadeMachineFolder(folder);
    } catch (const EMachineError& e) {
        throw EMachineFilesError(e.what());
    }
    Reached(TInstallStep::isFolder);
}

bool IsInstallableFolder(int handle) {
    const TInstallMarks marks = InterruptedInstallMarks(handle);
    if (!marks.Marks.empty())
        return true;
    std::vector<std::string> names;
    ForEachNameIn(handle, [&](const std::string& name) {
        if (std::find(marks.Empty.begin(), marks.Empty.end(), name) == marks.Empty.end())
            names.push_back(name);
        return names.size() < 2;
    });
    // A new file system's own empty lost+found at its root counts as nothing.
    struct stat parent {};
    if (names == std::vector<std::string>{"lost+found"} && ::fstatat(handle, "..", &parent, 0) == 0 &&
        IsMountRoot(handle, parent)) {
        const TFileHandle folder(::openat(handle, "lost+found", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        bool empty = folder.Get() >= 0;
        ForEachNameIn(folder.Get(), [&](const std::string&) { return empty = false; });
        if (empty)
            names.clear();
    }
    return names.empty();
}

void InstallDefaultMachine(const std::filesystem::path& folder, int lockedHandle) {
    // Through a link, to the folder it leads to: the one held locked.
    TSafeFolders folders(folder.parent_path().string());
    TSafePlace place;
    if (const std::string why = FollowToLocked(folders, folder.filename().string(), lockedHandle, place); !why.empty())
        CannotMake(folder, why);
    const int inside = folders.Handle(place.Inside), holding = folders.Handle(place.Folder);
    // A rename cannot replace a mount point: the machine goes into it in place, and
    // a process killed meanwhile leaves its mark there for the next install.
    const TInstallMarks marks = InterruptedInstallMarks(inside);
    if (IsMountRoot(inside, folders.Status(place.Folder)) || !marks.Marks.empty() || !marks.Empty.empty()) {
        try {
            RecoverMachineFolder(folder, lockedHandle);
        } catch (const std::exception& e) {
            CannotMake(folder, e.what());
        }
        RemoveInstallMarks(inside, BuildDefaultMachine(folder, folder, inside));
        Reached(TInstallStep::isDone);
        return;
    }
    RemoveInterruptedInstalls(holding, place.Name);
    const std::string temporary = TemporaryNameFor(place.Name);
    if (::mkdirat(holding, temporary.c_str(), 0777) != 0)
        CannotMake(folder, ErrorText(errno));
    TInstallFolder built{holding, temporary};
    Reached(TInstallStep::isTemporaryFolder);
    const TFileHandle made(::openat(holding, temporary.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (made.Get() < 0)
        CannotMake(folder, ErrorText(errno));
    const std::string mark = BuildDefaultMachine(folder, folders.Shown(place.Folder) + "/" + temporary, made.Get());
    // Atomic over an empty folder: whoever waits for its lock locks the machine.
    // The mark goes with it, and only once the rename is on disk: a temporary
    // folder is never left whole without it.
    if (::renameat(holding, temporary.c_str(), holding, place.Name.c_str()) != 0)
        CannotMake(folder, ErrorText(errno));
    built.Name.clear();
    Reached(TInstallStep::isRenamed);
    if (const int error = SyncFolder(holding, ""))
        CannotMake(folder, ErrorText(error));
    RemoveInstallMarks(made.Get(), mark);
    Reached(TInstallStep::isDone);
}

void WatchInstallSteps(TInstallWatch watch) { gInstallWatch.store(watch); }

TMachineState BuildLargeMachineState(const std::u16string& computerName, int siteCount, int dirsPerSite) {
    TMachineState state = BuildBaseMachine(computerName);
    TMetaObject& w3 = *state.Metabase->Find(u"W3SVC");
    for (int s = 1; s <= siteCount; ++s) {
        const std::u16string id = IntToText(s);
        TMetaObject& site = Site(w3, id, u"Site " + id, {u":80:site" + id + u".example.com"});
        TMetaObject& root = Application(VirtualDir(site, u"ROOT", u"D:\\Sites\\Site" + id), u"/LM/W3SVC/" + id + u"/ROOT",
                                        u"Site " + id, u"DefaultAppPool");
        for (int d = 1; d <= dirsPerSite; ++d)
            VirtualDir(root, u"dir" + IntToText(d),
                       u"D:\\Sites\\Site" + id + u"\\dir" + IntToText(d));
    }
    return state;
}

} // namespace orvex
