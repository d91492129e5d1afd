#include "platform/MetabaseSchema.h"

#include "base/AsciiText.h"
#include "platform/Metabase.h"
#include "platform/MetabaseValues.h"

#include <charconv>
#include <unordered_map>

namespace orvex {

namespace {

using enum TMetaSyntax;

// name, syntax, secure, inherit
const std::vector<TPropertyDef> kProperties = {
    {u"AccessExecute", TMetaSyntax::msBoolean, false, true},
    {u"AccessFlags", TMetaSyntax::msInteger, false, true},
    {u"AccessNoRemoteExecute", TMetaSyntax::msBoolean, false, true},
    {u"AccessNoRemoteRead", TMetaSyntax::msBoolean, false, true},
    {u"AccessNoRemoteScript", TMetaSyntax::msBoolean, false, true},
    {u"AccessNoRemoteWrite", TMetaSyntax::msBoolean, false, true},
    {u"AccessRead", TMetaSyntax::msBoolean, false, true},
    {u"AccessScript", TMetaSyntax::msBoolean, false, true},
    {u"AccessSource", TMetaSyntax::msBoolean, false, true},
    {u"AccessSSL", TMetaSyntax::msBoolean, false, true},
    {u"AccessSSL128", TMetaSyntax::msBoolean, false, true},
    {u"AccessSSLFlags", TMetaSyntax::msInteger, false, true},
    {u"AccessSSLMapCert", TMetaSyntax::msBoolean, false, true},
    {u"AccessSSLNegotiateCert", TMetaSyntax::msBoolean, false, true},
    {u"AccessSSLRequireCert", TMetaSyntax::msBoolean, false, true},
    {u"AccessWrite", TMetaSyntax::msBoolean, false, true},
    {u"AdminACL", TMetaSyntax::msNTAcl, false, true},
    {u"AdminACLBin", TMetaSyntax::msBinary, false, true},
    {u"AdminServer", TMetaSyntax::msString, false, true},
    {u"AllowKeepAlive", TMetaSyntax::msBoolean, false, true},
    {u"AllowPathInfoForScriptMappings", TMetaSyntax::msBoolean, false, true},
    {u"AllowTransientRegistration", TMetaSyntax::msBoolean, false, true},
    {u"AnonymousPasswordSync", TMetaSyntax::msBoolean, false, true},
    {u"AnonymousUserName", TMetaSyntax::msString, false, true},
    {u"AnonymousUserPass", TMetaSyntax::msString, true, true},
    {u"AppAllowClientDebug", TMetaSyntax::msBoolean, false, true},
    {u"AppAllowDebugging", TMetaSyntax::msBoolean, false, true},
    {u"AppAutoStart", TMetaSyntax::msBoolean, false, true},
    {u"AppFriendlyName", TMetaSyntax::msString, false, false},
    {u"AppIsolated", TMetaSyntax::msInteger, false, false},
    {u"ApplicationDependencies", TMetaSyntax::msList, false, false},
    {u"AppOopRecoverLimit", TMetaSyntax::msInteger, false, true},
    {u"AppPackageID", TMetaSyntax::msString, false, false},
    {u"AppPackageName", TMetaSyntax::msString, false, false},
    {u"AppPoolId", TMetaSyntax::msString, false, true},
    {u"AppPoolIdentityType", TMetaSyntax::msInteger, false, true},
    {u"AppPoolQueueLength", TMetaSyntax::msInteger, false, true},
    {u"AppPoolRecycleConfigChange", TMetaSyntax::msBoolean, false, true},
    {u"AppPoolRecycleIsapiUnhealthy", TMetaSyntax::msBoolean, false, true},
    {u"AppPoolRecycleMemory", TMetaSyntax::msBoolean, false, true},
    {u"AppPoolRecycleOnDemand", TMetaSyntax::msBoolean, false, true},
    {u"AppPoolRecyclePrivateMemory", TMetaSyntax::msBoolean, false, true},
    {u"AppPoolRecycleRequests", TMetaSyntax::msBoolean, false, true},
    {u"AppPoolRecycleSchedule", TMetaSyntax::msBoolean, false, true},
    {u"AppPoolRecycleTime", TMetaSyntax::msBoolean, false, true},
    {u"AppRoot", TMetaSyntax::msString, false, false},
    {u"AppWamClsid", TMetaSyntax::msString, false, false},
    {u"AspAllowOutOfProcComponents", TMetaSyntax::msBoolean, false, true},
    {u"AspAllowSessionState", TMetaSyntax::msBoolean, false, true},
    {u"AspBufferingLimit", TMetaSyntax::msInteger, false, true},
    {u"AspBufferingOn", TMetaSyntax::msBoolean, false, true},
    {u"AspCodepage", TMetaSyntax::msInteger, false, true},
    {u"AspDiskTemplateCacheDirectory", TMetaSyntax::msExpandSz, false, true},
    {u"AspEnableApplicationRestart", TMetaSyntax::msBoolean, false, true},
    {u"AspEnableAspHtmlFallback", TMetaSyntax::msBoolean, false, true},
    {u"AspEnableChunkedEncoding", TMetaSyntax::msBoolean, false, true},
    {u"AspEnableParentPaths", TMetaSyntax::msBoolean, false, true},
    {u"AspEnableTypelibCache", TMetaSyntax::msBoolean, false, true},
    {u"AspErrorsToNTLog", TMetaSyntax::msBoolean, false, true},
    {u"AspExceptionCatchEnable", TMetaSyntax::msBoolean, false, true},
    {u"AspKeepSessionIDSecure", TMetaSyntax::msBoolean, false, true},
    {u"AspLCID", TMetaSyntax::msInteger, false, true},
    {u"AspLogErrorRequests", TMetaSyntax::msBoolean, false, true},
    {u"AspMaxDiskTemplateCacheFiles", TMetaSyntax::msInteger, false, true},
    {u"AspMaxRequestEntityAllowed", TMetaSyntax::msInteger, false, true},
    {u"AspProcessorThreadMax", TMetaSyntax::msInteger, false, true},
    {u"AspQueueConnectionTestTime", TMetaSyntax::msInteger, false, true},
    {u"AspQueueTimeout", TMetaSyntax::msInteger, false, true},
    {u"AspRequestQueueMax", TMetaSyntax::msInteger, false, true},
    {u"AspScriptEngineCacheMax", TMetaSyntax::msInteger, false, true},
    {u"AspScriptErrorMessage", TMetaSyntax::msString, false, true},
    {u"AspScriptErrorSentToBrowser", TMetaSyntax::msBoolean, false, true},
    {u"AspScriptFileCacheSize", TMetaSyntax::msInteger, false, true},
    {u"AspScriptLanguage", TMetaSyntax::msString, false, true},
    {u"AspScriptTimeout", TMetaSyntax::msInteger, false, true},
    {u"AspSessionMax", TMetaSyntax::msInteger, false, true},
    {u"AspSessionTimeout", TMetaSyntax::msInteger, false, true},
    {u"AspThreadGateEnabled", TMetaSyntax::msBoolean, false, true},
    {u"AspThreadGateLoadHigh", TMetaSyntax::msInteger, false, true},
    {u"AspThreadGateLoadLow", TMetaSyntax::msInteger, false, true},
    {u"AspThreadGateSleepDelay", TMetaSyntax::msInteger, false, true},
    {u"AspThreadGateSleepMax", TMetaSyntax::msInteger, false, true},
    {u"AspThreadGateTimeSlice", TMetaSyntax::msInteger, false, true},
    {u"AspTrackThreadingModel", TMetaSyntax::msBoolean, false, true},
    {u"AuthAnonymous", TMetaSyntax::msBoolean, false, true},
    {u"AuthBasic", TMetaSyntax::msBoolean, false, true},
    {u"AuthFlags", TMetaSyntax::msInteger, false, true},
    {u"AuthMD5", TMetaSyntax::msBoolean, false, true},
    {u"AuthNTLM", TMetaSyntax::msBoolean, false, true},
    {u"AuthPersistence", TMetaSyntax::msInteger, false, true},
    {u"AuthPersistSingleRequest", TMetaSyntax::msBoolean, false, true},
    {u"AuthPersistSingleRequestAlwaysIfProxy", TMetaSyntax::msBoolean, false, true},
    {u"AuthPersistSingleRequestIfProxy", TMetaSyntax::msBoolean, false, true},
    {u"BackwardCompatEnabled", TMetaSyntax::msBoolean, false, true},
    {u"CacheControlCustom", TMetaSyntax::msString, false, true},
    {u"CacheControlMaxAge", TMetaSyntax::msInteger, false, true},
    {u"CacheControlNoCache", TMetaSyntax::msBoolean, false, true},
    {u"CacheISAPI", TMetaSyntax::msBoolean, false, true},
    {u"CalLimitHttpError", TMetaSyntax::msInteger, false, true},
    {u"CalReserveTimeout", TMetaSyntax::msInteger, false, true},
    {u"CalSSLReserveTimeout", TMetaSyntax::msInteger, false, true},
    {u"CalVcPerConnect", TMetaSyntax::msInteger, false, true},
    {u"CertCacheRetrievalOnly", TMetaSyntax::msBoolean, false, true},
    {u"CertCheckMode", TMetaSyntax::msInteger, false, true},
    {u"CertCheckRevocationFreshnessTime", TMetaSyntax::msBoolean, false, true},
    {u"CertNoRevocCheck", TMetaSyntax::msBoolean, false, true},
    {u"CertNoUsageCheck", TMetaSyntax::msBoolean, false, true},
    {u"CGITimeOut", TMetaSyntax::msInteger, false, true},
    {u"ClusterEnabled", TMetaSyntax::msBoolean, false, false},
    {u"ConnectionTimeout", TMetaSyntax::msInteger, false, true},
    {u"ContentIndexed", TMetaSyntax::msBoolean, false, true},
    {u"CPUAppEnabled", TMetaSyntax::msBoolean, false, true},
    {u"CPUCGIEnabled", TMetaSyntax::msBoolean, false, true},
    {u"CPUCGILimit", TMetaSyntax::msInteger, false, true},
    {u"CPUEnableActiveProcs", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableAllProcLogging", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableAppLogging", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableCGILogging", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableEvent", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableKernelTime", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnablePageFaults", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableProcType", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableTerminatedProcs", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableTotalProcs", TMetaSyntax::msBoolean, false, true},
    {u"CPUEnableUserTime", TMetaSyntax::msBoolean, false, true},
    {u"CPULimit", TMetaSyntax::msInteger, false, true},
    {u"CPULimitLogEvent", TMetaSyntax::msInteger, false, true},
    {u"CPULimitPause", TMetaSyntax::msInteger, false, true},
    {u"CPULimitPriority", TMetaSyntax::msInteger, false, true},
    {u"CPULimitProcStop", TMetaSyntax::msInteger, false, true},
    {u"CPULimitsEnabled", TMetaSyntax::msBoolean, false, true},
    {u"CPULoggingEnabled", TMetaSyntax::msBoolean, false, true},
    {u"CPULoggingInterval", TMetaSyntax::msInteger, false, true},
    {u"CPULoggingMask", TMetaSyntax::msInteger, false, true},
    {u"CPULoggingOptions", TMetaSyntax::msInteger, false, true},
    {u"CPUResetInterval", TMetaSyntax::msInteger, false, true},
    {u"CreateCGIWithNewConsole", TMetaSyntax::msBoolean, false, true},
    {u"CreateProcessAsUser", TMetaSyntax::msBoolean, false, true},
    {u"CustomErrorDescriptions", TMetaSyntax::msList, false, false},
    {u"DefaultDoc", TMetaSyntax::msString, false, true},
    {u"DefaultDocFooter", TMetaSyntax::msString, false, true},
    {u"DefaultLogonDomain", TMetaSyntax::msString, false, true},
    {u"DirBrowseFlags", TMetaSyntax::msInteger, false, true},
    {u"DirBrowseShowDate", TMetaSyntax::msBoolean, false, true},
    {u"DirBrowseShowExtension", TMetaSyntax::msBoolean, false, true},
    {u"DirBrowseShowLongDate", TMetaSyntax::msBoolean, false, true},
    {u"DirBrowseShowSize", TMetaSyntax::msBoolean, false, true},
    {u"DirBrowseShowTime", TMetaSyntax::msBoolean, false, true},
    {u"DirectoryLevelsToScan", TMetaSyntax::msInteger, false, true},
    {u"DisableSocketPooling", TMetaSyntax::msBoolean, false, true},
    {u"DisallowOverlappingRotation", TMetaSyntax::msBoolean, false, true},
    {u"DisallowRotationOnConfigChange", TMetaSyntax::msBoolean, false, true},
    {u"DoDynamicCompression", TMetaSyntax::msBoolean, false, true},
    {u"DontLog", TMetaSyntax::msBoolean, false, true},
    {u"DoStaticCompression", TMetaSyntax::msBoolean, false, true},
    {u"EnableDefaultDoc", TMetaSyntax::msBoolean, false, true},
    {u"EnableDirBrowsing", TMetaSyntax::msBoolean, false, true},
    {u"EnableDocFooter", TMetaSyntax::msBoolean, false, true},
    {u"EnableEditWhileRunning", TMetaSyntax::msBoolean, false, true},
    {u"EnableHistory", TMetaSyntax::msBoolean, false, true},
    {u"EnableReverseDns", TMetaSyntax::msBoolean, false, true},
    {u"FilterDescription", TMetaSyntax::msString, false, false},
    {u"FilterEnabled", TMetaSyntax::msBoolean, false, false},
    {u"FilterFlags", TMetaSyntax::msInteger, false, false},
    {u"FilterLoadOrder", TMetaSyntax::msString, false, false},
    {u"FilterPath", TMetaSyntax::msString, false, false},
    {u"FilterState", TMetaSyntax::msInteger, false, false},
    {u"FrontPageWeb", TMetaSyntax::msBoolean, false, false},
    {u"HcCacheControlHeader", TMetaSyntax::msString, false, true},
    {u"HcCompressionBufferSize", TMetaSyntax::msInteger, false, true},
    {u"HcCompressionDirectory", TMetaSyntax::msExpandSz, false, true},
    {u"HcCompressionDll", TMetaSyntax::msExpandSz, false, false},
    {u"HcCreateFlags", TMetaSyntax::msInteger, false, false},
    {u"HcDoDynamicCompression", TMetaSyntax::msBoolean, false, true},
    {u"HcDoOnDemandCompression", TMetaSyntax::msBoolean, false, true},
    {u"HcDoStaticCompression", TMetaSyntax::msBoolean, false, true},
    {u"HcDynamicCompressionLevel", TMetaSyntax::msInteger, false, false},
    {u"HcExpiresHeader", TMetaSyntax::msString, false, true},
    {u"HcFileExtensions", TMetaSyntax::msList, false, false},
    {u"HcFilesDeletedPerDiskFree", TMetaSyntax::msInteger, false, true},
    {u"HcIoBufferSize", TMetaSyntax::msInteger, false, true},
    {u"HcMaxDiskSpaceUsage", TMetaSyntax::msInteger, false, true},
    {u"HcMinFileSizeForComp", TMetaSyntax::msInteger, false, true},
    {u"HcNoCompressionForHttp10", TMetaSyntax::msBoolean, false, true},
    {u"HcNoCompressionForProxies", TMetaSyntax::msBoolean, false, true},
    {u"HcNoCompressionForRange", TMetaSyntax::msBoolean, false, true},
    {u"HcOnDemandCompLevel", TMetaSyntax::msInteger, false, false},
    {u"HcPriority", TMetaSyntax::msInteger, false, false},
    {u"HcScriptFileExtensions", TMetaSyntax::msList, false, false},
    {u"HcSendCacheHeaders", TMetaSyntax::msBoolean, false, true},
    {u"HttpCustomHeaders", TMetaSyntax::msList, false, true},
    {u"HttpErrors", TMetaSyntax::msList, false, true},
    {u"HttpExpires", TMetaSyntax::msString, false, true},
    {u"HttpPics", TMetaSyntax::msList, false, true},
    {u"HttpRedirect", TMetaSyntax::msString, false, true},
    {u"IdleTimeout", TMetaSyntax::msInteger, false, true},
    {u"IgnoreTranslate", TMetaSyntax::msBoolean, false, true},
    {u"InProcessIsapiApps", TMetaSyntax::msList, false, true},
    {u"IPSecurity", TMetaSyntax::msIPSec, false, true},
    {u"KeyType", TMetaSyntax::msString, false, false},
    {u"LoadBalancerCapabilities", TMetaSyntax::msInteger, false, true},
    {u"LogEventOnRecycle", TMetaSyntax::msInteger, false, true},
    {u"LogExtFileBytesRecv", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileBytesSent", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileClientIp", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileComputerName", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileCookie", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileDate", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileFlags", TMetaSyntax::msInteger, false, true},
    {u"LogExtFileHost", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileHttpStatus", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileMethod", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileProtocolVersion", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileReferer", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileServerIp", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileServerPort", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileSiteName", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileTime", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileTimeTaken", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileUriQuery", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileUriStem", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileUserAgent", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileUserName", TMetaSyntax::msBoolean, false, true},
    {u"LogExtFileWin32Status", TMetaSyntax::msBoolean, false, true},
    {u"LogFileDirectory", TMetaSyntax::msExpandSz, false, true},
    {u"LogFileLocaltimeRollover", TMetaSyntax::msBoolean, false, true},
    {u"LogFilePeriod", TMetaSyntax::msInteger, false, true},
    {u"LogFileTruncateSize", TMetaSyntax::msInteger, false, true},
    {u"LogModuleId", TMetaSyntax::msString, false, false},
    {u"LogModuleList", TMetaSyntax::msString, false, true},
    {u"LogModuleUiId", TMetaSyntax::msString, false, false},
    {u"LogOdbcDataSource", TMetaSyntax::msString, false, true},
    {u"LogOdbcPassword", TMetaSyntax::msString, true, true},
    {u"LogOdbcTableName", TMetaSyntax::msString, false, true},
    {u"LogOdbcUserName", TMetaSyntax::msString, false, true},
    {u"LogonMethod", TMetaSyntax::msInteger, false, true},
    {u"LogPluginClsid", TMetaSyntax::msString, false, true},
    {u"LogType", TMetaSyntax::msInteger, false, true},
    {u"MaxBandwidth", TMetaSyntax::msInteger, false, true},
    {u"MaxBandwidthBlocked", TMetaSyntax::msInteger, false, false},
    {u"MaxConnections", TMetaSyntax::msInteger, false, true},
    {u"MaxEndpointConnections", TMetaSyntax::msInteger, false, true},
    {u"MaxHistoryFiles", TMetaSyntax::msInteger, false, true},
    {u"MaxProcesses", TMetaSyntax::msInteger, false, true},
    {u"MimeMap", TMetaSyntax::msMimeMap, false, false},
    {u"NetLogonWorkstation", TMetaSyntax::msInteger, false, true},
    {u"NotDeletable", TMetaSyntax::msBoolean, false, false},
    {u"NotifyAccessDenied", TMetaSyntax::msBoolean, false, true},
    {u"NotifyAuthComplete", TMetaSyntax::msBoolean, false, true},
    {u"NotifyAuthentication", TMetaSyntax::msBoolean, false, true},
    {u"NotifyEndOfNetSession", TMetaSyntax::msBoolean, false, true},
    {u"NotifyEndOfRequest", TMetaSyntax::msBoolean, false, true},
    {u"NotifyLog", TMetaSyntax::msBoolean, false, true},
    {u"NotifyNonSecurePort", TMetaSyntax::msBoolean, false, true},
    {u"NotifyOrderHigh", TMetaSyntax::msBoolean, false, true},
    {u"NotifyOrderLow", TMetaSyntax::msBoolean, false, true},
    {u"NotifyOrderMedium", TMetaSyntax::msBoolean, false, true},
    {u"NotifyPreProcHeaders", TMetaSyntax::msBoolean, false, true},
    {u"NotifyReadRawData", TMetaSyntax::msBoolean, false, true},
    {u"NotifySecurePort", TMetaSyntax::msBoolean, false, true},
    {u"NotifySendRawData", TMetaSyntax::msBoolean, false, true},
    {u"NotifySendResponse", TMetaSyntax::msBoolean, false, true},
    {u"NotifyUrlMap", TMetaSyntax::msBoolean, false, true},
    {u"NTAuthenticationProviders", TMetaSyntax::msString, false, true},
    {u"OrphanWorkerProcess", TMetaSyntax::msBoolean, false, true},
    {u"PasswordCacheTTL", TMetaSyntax::msInteger, false, true},
    {u"PasswordChangeFlags", TMetaSyntax::msInteger, false, true},
    {u"PasswordExpirePrenotifyDays", TMetaSyntax::msInteger, false, true},
    {u"Path", TMetaSyntax::msString, false, false},
    {u"PeriodicRestartMemory", TMetaSyntax::msInteger, false, true},
    {u"PeriodicRestartPrivateMemory", TMetaSyntax::msInteger, false, true},
    {u"PeriodicRestartRequests", TMetaSyntax::msInteger, false, true},
    {u"PeriodicRestartSchedule", TMetaSyntax::msList, false, true},
    {u"PeriodicRestartTime", TMetaSyntax::msInteger, false, true},
    {u"PingingEnabled", TMetaSyntax::msBoolean, false, true},
    {u"PingInterval", TMetaSyntax::msInteger, false, true},
    {u"PingResponseTime", TMetaSyntax::msInteger, false, true},
    {u"PoolIdcTimeout", TMetaSyntax::msInteger, false, true},
    {u"ProcessNTCRIfLoggedOn", TMetaSyntax::msBoolean, false, true},
    {u"PutReadSize", TMetaSyntax::msInteger, false, true},
    {u"RapidFailProtection", TMetaSyntax::msBoolean, false, true},
    {u"RapidFailProtectionInterval", TMetaSyntax::msInteger, false, true},
    {u"RapidFailProtectionMaxCrashes", TMetaSyntax::msInteger, false, true},
    {u"Realm", TMetaSyntax::msString, false, true},
    {u"RedirectHeaders", TMetaSyntax::msList, false, true},
    {u"RevocationFreshnessTime", TMetaSyntax::msInteger, false, true},
    {u"RevocationURLRetrievalTimeout", TMetaSyntax::msInteger, false, true},
    {u"ScriptMaps", TMetaSyntax::msList, false, true},
    {u"SecureBindings", TMetaSyntax::msList, false, false},
    {u"ServerAutoStart", TMetaSyntax::msBoolean, false, false},
    {u"ServerBindings", TMetaSyntax::msList, false, false},
    {u"ServerComment", TMetaSyntax::msString, false, false},
    {u"ServerConfigAutoPWSync", TMetaSyntax::msBoolean, false, true},
    {u"ServerConfigFlags", TMetaSyntax::msInteger, false, true},
    {u"ServerConfigSSL128", TMetaSyntax::msBoolean, false, true},
    {u"ServerConfigSSL40", TMetaSyntax::msBoolean, false, true},
    {u"ServerConfigSSLAllowEncrypt", TMetaSyntax::msBoolean, false, true},
    {u"ServerListenBacklog", TMetaSyntax::msInteger, false, true},
    {u"ServerListenTimeout", TMetaSyntax::msInteger, false, true},
    {u"ServerSize", TMetaSyntax::msInteger, false, true},
    {u"ServerState", TMetaSyntax::msInteger, false, false},
    {u"ShutdownTimeLimit", TMetaSyntax::msInteger, false, true},
    {u"SMPAffinitized", TMetaSyntax::msBoolean, false, true},
    {u"SMPProcessorAffinityMask", TMetaSyntax::msInteger, false, true},
    {u"SSIExecDisable", TMetaSyntax::msBoolean, false, true},
    {u"SSLCertHash", TMetaSyntax::msBinary, false, false},
    {u"SSLStoreName", TMetaSyntax::msString, false, false},
    {u"SslUseDsMapper", TMetaSyntax::msBoolean, false, true},
    {u"StartupTimeLimit", TMetaSyntax::msInteger, false, true},
    {u"UNCAuthenticationPassThrough", TMetaSyntax::msBoolean, false, true},
    {u"UNCPassword", TMetaSyntax::msString, true, false},
    {u"UNCUserName", TMetaSyntax::msString, false, false},
    {u"UploadReadAheadSize", TMetaSyntax::msInteger, false, true},
    {u"UseDigestSSP", TMetaSyntax::msBoolean, false, true},
    {u"UseHostName", TMetaSyntax::msBoolean, false, true},
    {u"WAMUserName", TMetaSyntax::msString, false, true},
    {u"WAMUserPass", TMetaSyntax::msString, true, true},
    {u"WebDAVMaxAttributesPerElement", TMetaSyntax::msInteger, false, true},
    {u"WebSvcExtRestrictionList", TMetaSyntax::msList, false, false},
};

// Optional properties (KeyType, the one mandatory property, aside).
const char16_t kWebServiceProps[] =
    u"MaxConnections MimeMap AnonymousUserName AnonymousUserPass IgnoreTranslate UseDigestSSP "
    u"ServerListenBacklog ServerComment ServerBindings ConnectionTimeout ServerListenTimeout "
    u"MaxEndpointConnections ServerAutoStart AllowKeepAlive ServerSize DisableSocketPooling "
    u"AnonymousPasswordSync DefaultLogonDomain AdminACL AdminACLBin IPSecurity DontLog Realm "
    u"EnableDirBrowsing DefaultDoc HttpExpires HttpPics HttpCustomHeaders HttpErrors EnableDocFooter "
    u"DefaultDocFooter HttpRedirect LogonMethod CacheISAPI CGITimeOut DirectoryLevelsToScan ContentIndexed "
    u"NTAuthenticationProviders AuthBasic AuthAnonymous AuthNTLM AccessSSL AccessSSL128 "
    u"AccessSSLNegotiateCert AccessSSLRequireCert CertCheckMode RevocationFreshnessTime "
    u"RevocationURLRetrievalTimeout CertNoRevocCheck CertCacheRetrievalOnly "
    u"CertCheckRevocationFreshnessTime CertNoUsageCheck AccessSSLMapCert AccessRead AccessWrite "
    u"AccessExecute AccessScript AccessSource AccessNoRemoteRead AccessNoRemoteWrite AccessNoRemoteExecute "
    u"AccessNoRemoteScript DoStaticCompression DoDynamicCompression AspBufferingOn AspLogErrorRequests "
    u"AspScriptErrorSentToBrowser AspScriptErrorMessage AspAllowOutOfProcComponents AspScriptFileCacheSize "
    u"AspDiskTemplateCacheDirectory AspMaxDiskTemplateCacheFiles AspScriptEngineCacheMax AspScriptTimeout "
    u"AspSessionTimeout AspEnableParentPaths AspAllowSessionState AspScriptLanguage "
    u"AspExceptionCatchEnable AspCodepage AspLCID AspQueueTimeout AspEnableAspHtmlFallback "
    u"AspEnableChunkedEncoding AspEnableTypelibCache AspErrorsToNTLog AspProcessorThreadMax "
    u"AspTrackThreadingModel AspRequestQueueMax AspEnableApplicationRestart AspQueueConnectionTestTime "
    u"AspSessionMax AspMaxRequestEntityAllowed AspBufferingLimit AspThreadGateEnabled "
    u"AspThreadGateTimeSlice AspThreadGateSleepDelay AspThreadGateSleepMax AspThreadGateLoadLow "
    u"AspThreadGateLoadHigh AppRoot AppFriendlyName AppIsolated AppPackageID AppPackageName "
    u"AppAllowDebugging AppAllowClientDebug AspKeepSessionIDSecure NetLogonWorkstation UseHostName "
    u"CacheControlMaxAge CacheControlNoCache CacheControlCustom CreateProcessAsUser PoolIdcTimeout "
    u"PutReadSize RedirectHeaders UploadReadAheadSize PasswordExpirePrenotifyDays PasswordCacheTTL "
    u"PasswordChangeFlags UNCAuthenticationPassThrough AppWamClsid DirBrowseFlags AuthFlags AuthMD5 "
    u"AuthPersistence AuthPersistSingleRequest AuthPersistSingleRequestIfProxy "
    u"AuthPersistSingleRequestAlwaysIfProxy AccessFlags AccessSSLFlags ScriptMaps SSIExecDisable "
    u"EnableReverseDns CreateCGIWithNewConsole ProcessNTCRIfLoggedOn AllowPathInfoForScriptMappings "
    u"InProcessIsapiApps EnableDefaultDoc DirBrowseShowDate DirBrowseShowTime DirBrowseShowSize "
    u"DirBrowseShowExtension DirBrowseShowLongDate LogType LogFilePeriod LogFileLocaltimeRollover "
    u"LogPluginClsid LogModuleList LogFileDirectory LogFileTruncateSize LogExtFileDate LogExtFileTime "
    u"LogExtFileClientIp LogExtFileUserName LogExtFileSiteName LogExtFileComputerName LogExtFileServerIp "
    u"LogExtFileMethod LogExtFileUriStem LogExtFileUriQuery LogExtFileHttpStatus LogExtFileWin32Status "
    u"LogExtFileBytesSent LogExtFileBytesRecv LogExtFileTimeTaken LogExtFileServerPort LogExtFileUserAgent "
    u"LogExtFileCookie LogExtFileReferer LogExtFileProtocolVersion LogExtFileFlags LogExtFileHost "
    u"LogOdbcDataSource LogOdbcTableName LogOdbcUserName LogOdbcPassword CPUCGILimit CPULimitLogEvent "
    u"CPULimitPriority CPULimitProcStop CPULimitPause CPULoggingEnabled CPULimitsEnabled CPUResetInterval "
    u"CPULoggingInterval CPULoggingOptions CPUEnableAllProcLogging CPUEnableCGILogging CPUEnableAppLogging "
    u"CPULoggingMask CPUEnableEvent CPUEnableProcType CPUEnableUserTime CPUEnableKernelTime "
    u"CPUEnablePageFaults CPUEnableTotalProcs CPUEnableActiveProcs CPUEnableTerminatedProcs CPUAppEnabled "
    u"CPUCGIEnabled SslUseDsMapper WAMUserName WAMUserPass WebDAVMaxAttributesPerElement "
    u"PeriodicRestartRequests PeriodicRestartTime PeriodicRestartSchedule ShutdownTimeLimit SSLCertHash "
    u"SSLStoreName AppPoolId AllowTransientRegistration AppAutoStart BackwardCompatEnabled CalVcPerConnect "
    u"CalLimitHttpError CalReserveTimeout CalSSLReserveTimeout";

// Optional properties (KeyType, the one mandatory property, aside).
const char16_t kWebDirectoryProps[] =
    u"AnonymousUserName AnonymousUserPass AnonymousPasswordSync IgnoreTranslate UseDigestSSP AppRoot "
    u"AppFriendlyName AppOopRecoverLimit AppIsolated AppPackageName AppPackageID AuthBasic AuthAnonymous "
    u"AuthNTLM CacheISAPI AppAllowDebugging AppAllowClientDebug AspKeepSessionIDSecure DefaultLogonDomain "
    u"LogonMethod CGITimeOut Realm EnableDefaultDoc DirBrowseShowDate DirBrowseShowTime DirBrowseShowSize "
    u"DirBrowseShowExtension DirBrowseShowLongDate AccessSSL AccessSSL128 AccessSSLNegotiateCert "
    u"AccessSSLRequireCert AccessSSLMapCert AccessRead AccessWrite AccessExecute AccessScript AccessSource "
    u"IPSecurity DontLog HttpExpires HttpPics HttpCustomHeaders AccessNoRemoteRead AccessNoRemoteWrite "
    u"AccessNoRemoteExecute AccessNoRemoteScript DoStaticCompression DoDynamicCompression HttpErrors "
    u"EnableDocFooter DefaultDocFooter HttpRedirect EnableDirBrowsing DefaultDoc ContentIndexed "
    u"CacheControlMaxAge CacheControlNoCache CacheControlCustom CreateProcessAsUser PoolIdcTimeout "
    u"PutReadSize RedirectHeaders UploadReadAheadSize FrontPageWeb UNCAuthenticationPassThrough "
    u"AppWamClsid AuthPersistence AuthPersistSingleRequest AuthPersistSingleRequestIfProxy "
    u"AuthPersistSingleRequestAlwaysIfProxy AccessFlags AccessSSLFlags ScriptMaps SSIExecDisable "
    u"EnableReverseDns CreateCGIWithNewConsole AspBufferingOn AspLogErrorRequests "
    u"AspScriptErrorSentToBrowser AspScriptErrorMessage AspAllowOutOfProcComponents AspScriptFileCacheSize "
    u"AspDiskTemplateCacheDirectory AspMaxDiskTemplateCacheFiles AspScriptEngineCacheMax AspScriptTimeout "
    u"AspSessionTimeout AspEnableParentPaths AspAllowSessionState AspScriptLanguage "
    u"AspExceptionCatchEnable AspCodepage AspLCID MimeMap AspQueueTimeout CPUAppEnabled CPUCGIEnabled "
    u"AspEnableAspHtmlFallback AspEnableChunkedEncoding AspEnableTypelibCache AspErrorsToNTLog "
    u"AspProcessorThreadMax AspTrackThreadingModel AspRequestQueueMax AspEnableApplicationRestart "
    u"AspQueueConnectionTestTime AspSessionMax AspMaxRequestEntityAllowed AspBufferingLimit "
    u"AspThreadGateEnabled AspThreadGateTimeSlice AspThreadGateSleepDelay AspThreadGateSleepMax "
    u"AspThreadGateLoadLow AspThreadGateLoadHigh PeriodicRestartRequests PeriodicRestartTime "
    u"PeriodicRestartSchedule ShutdownTimeLimit WebDAVMaxAttributesPerElement DirBrowseFlags AuthMD5 "
    u"AuthFlags AppPoolId AllowTransientRegistration AppAutoStart";

// Optional properties (KeyType, the one mandatory property, aside).
const char16_t kWebInfoProps[] =
    u"ServerConfigFlags CustomErrorDescriptions AdminServer ServerConfigSSL40 ServerConfigSSL128 "
    u"ServerConfigSSLAllowEncrypt ServerConfigAutoPWSync LogModuleList";

// Optional properties (KeyType, the one mandatory property, aside).
const char16_t kFilterProps[] =
    u"FilterPath FilterDescription FilterFlags FilterState FilterEnabled NotifySecurePort "
    u"NotifyNonSecurePort NotifyReadRawData NotifyPreProcHeaders NotifyAuthentication NotifyAuthComplete "
    u"NotifyUrlMap NotifyAccessDenied NotifySendResponse NotifySendRawData NotifyLog NotifyEndOfRequest "
    u"NotifyEndOfNetSession NotifyOrderHigh NotifyOrderMedium NotifyOrderLow";

// Optional properties (KeyType, the one mandatory property, aside).
const char16_t kAppPoolProps[] =
    u"PeriodicRestartTime PeriodicRestartRequests MaxProcesses PingingEnabled IdleTimeout "
    u"RapidFailProtection SMPAffinitized SMPProcessorAffinityMask StartupTimeLimit ShutdownTimeLimit "
    u"PingInterval PingResponseTime DisallowOverlappingRotation DisallowRotationOnConfigChange "
    u"OrphanWorkerProcess AppPoolQueueLength CPULimit CPUResetInterval AppPoolIdentityType WAMUserName "
    u"WAMUserPass PeriodicRestartMemory PeriodicRestartPrivateMemory RapidFailProtectionInterval "
    u"RapidFailProtectionMaxCrashes LoadBalancerCapabilities LogEventOnRecycle AppPoolRecycleTime "
    u"AppPoolRecycleRequests AppPoolRecycleSchedule AppPoolRecycleMemory AppPoolRecycleIsapiUnhealthy "
    u"AppPoolRecycleOnDemand AppPoolRecycleConfigChange AppPoolRecyclePrivateMemory";

std::vector<std::u16string_view> SplitNames(std::u16string_view text) {
    std::vector<std::u16string_view> names;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u' ', start);
        if (end == std::u16string_view::npos)
            end = text.size();
        if (end > start)
            names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::vector<std::u16string_view> Derive(std::u16string_view base, std::u16string_view removed, std::u16string_view added) {
    std::vector<std::u16string_view> names;
    const std::vector<std::u16string_view> drop = SplitNames(removed);
    for (std::u16string_view name : SplitNames(base)) {
        bool dropped = false;
        for (std::u16string_view d : drop)
            dropped = dropped || d == name;
        if (!dropped)
            names.push_back(name);
    }
    for (std::u16string_view name : SplitNames(added))
        names.push_back(name);
    return names;
}

std::vector<TClassDef> BuildClasses() {
    const std::vector<std::u16string_view> keyType = {u"KeyType"};
    std::vector<TClassDef> classes;
    auto add = [&](std::u16string_view name, bool container, std::vector<std::u16string_view> optional) {
        classes.push_back({name, container, keyType, std::move(optional)});
    };
    add(u"IIsComputer", true, SplitNames(u"MaxBandwidth MaxBandwidthBlocked EnableHistory MaxHistoryFiles EnableEditWhileRunning"));
    add(u"IIsWebService", true, Derive(kWebServiceProps, u"", u"WebSvcExtRestrictionList ApplicationDependencies"));
    add(u"IIsWebInfo", false, SplitNames(kWebInfoProps));
    add(u"IIsFilters", true, SplitNames(u"FilterLoadOrder"));
    add(u"IIsFilter", false, SplitNames(kFilterProps));
    add(u"IIsWebServer", true,
        Derive(kWebServiceProps,
               u"CGITimeOut DirectoryLevelsToScan InProcessIsapiApps LogModuleList SslUseDsMapper WAMUserName "
               u"WAMUserPass BackwardCompatEnabled CalVcPerConnect CalLimitHttpError CalReserveTimeout CalSSLReserveTimeout",
               u"ServerState MaxBandwidth SecureBindings CGITimeout FrontPageWeb AppOopRecoverLimit ClusterEnabled "
               u"MaxBandwidthBlocked NotDeletable"));
    add(u"IIsWebVirtualDir", true,
        Derive(kWebDirectoryProps,
               u"CPUAppEnabled CPUCGIEnabled AspMaxRequestEntityAllowed AspBufferingLimit AspThreadGateEnabled "
               u"AspThreadGateTimeSlice AspThreadGateSleepDelay AspThreadGateSleepMax AspThreadGateLoadLow "
               u"AspThreadGateLoadHigh WebDAVMaxAttributesPerElement",
               u"Path UNCUserName UNCPassword"));
    add(u"IIsWebDirectory", true, SplitNames(kWebDirectoryProps));
    add(u"IIsApplicationPools", true, SplitNames(kAppPoolProps));
    add(u"IIsApplicationPool", false, SplitNames(kAppPoolProps));
    add(u"IIsMimeMap", false, SplitNames(u"MimeMap"));
    add(u"IIsLogModules", true, {});
    add(u"IIsLogModule", false, SplitNames(u"LogModuleId LogModuleUiId"));
    add(u"IIsCompressionSchemes", true,
        SplitNames(u"HcDoDynamicCompression HcDoStaticCompression HcDoOnDemandCompression HcCacheControlHeader "
                   u"HcExpiresHeader HcSendCacheHeaders HcNoCompressionForHttp10 HcNoCompressionForProxies "
                   u"HcNoCompressionForRange HcFilesDeletedPerDiskFree HcIoBufferSize HcMaxDiskSpaceUsage "
                   u"HcMinFileSizeForComp HcCompressionDirectory HcCompressionBufferSize"));
    add(u"IIsCompressionScheme", false,
        SplitNames(u"HcCompressionDll HcFileExtensions HcScriptFileExtensions HcPriority HcDynamicCompressionLevel "
                   u"HcOnDemandCompLevel HcCreateFlags HcDoDynamicCompression HcDoStaticCompression "
                   u"HcDoOnDemandCompression"));
    return classes;
}

int32_t ByteOf(const TOleVariant& item) {
    int32_t value = -1;
    if (item.Kind() == TVariantKind::vkInteger) {
        value = item.AsInteger();
    } else {
        const std::u16string& text = item.AsText();
        std::string digits;
        for (char16_t c : text) {
            if (c > 0x7F)
                throw EOleSysError(hr::TypeMismatch);
            digits.push_back(static_cast<char>(c));
        }
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
            throw EOleSysError(hr::TypeMismatch);
    }
    if (value < 0 || value > 255)
        throw EOleSysError(hr::TypeMismatch);
    return value;
}

} // namespace

std::u16string_view SyntaxName(TMetaSyntax syntax) {
    switch (syntax) {
    case msString: return u"String";
    case msExpandSz: return u"ExpandSz";
    case msBinary: return u"Binary";
    case msInteger: return u"Integer";
    case msBoolean: return u"Boolean";
    case msList: return u"List";
    case msIPSec: return u"IPSec";
    case msMimeMap: return u"MimeMap";
    case msNTAcl: return u"NTAcl";
    }
    return u"";
}

const std::vector<TPropertyDef>& AllPropertyDefs() { return kProperties; }

const std::vector<TClassDef>& AllClassDefs() {
    static const std::vector<TClassDef> classes = BuildClasses();
    return classes;
}

namespace {

// Lookups run for every property of every object a backup reads: hash them, and
// look up without copying the name.
template <class T>
using TByName = std::unordered_map<std::u16string_view, T, TAsciiNameHash, TAsciiNameEqual>;

struct TSchemaIndex {
    TByName<const TPropertyDef*> Properties;
    TByName<const TClassDef*> Classes;
    // The properties of each class in order, and their positions there by name, as
    // AllClassDefs() lists the classes.
    std::vector<std::vector<const TPropertyDef*>> Ordered;
    std::vector<TByName<size_t>> Members;

    TSchemaIndex() {
        for (const TPropertyDef& def : kProperties)
            Properties.emplace(def.Name, &def);
        for (const TClassDef& def : AllClassDefs()) {
            Classes.emplace(def.Name, &def);
            TByName<size_t>& members = Members.emplace_back();
            std::vector<const TPropertyDef*>& ordered = Ordered.emplace_back();
            for (const auto* list : {&def.Mandatory, &def.Optional})
                for (std::u16string_view name : *list)
                    if (const auto it = Properties.find(name); it != Properties.end()) {
                        members.emplace(name, ordered.size());
                        ordered.push_back(it->second);
                    }
        }
    }
};

const TSchemaIndex& Index() {
    static const TSchemaIndex index;
    return index;
}

} // namespace

const TPropertyDef* FindPropertyDef(std::u16string_view name) {
    const auto& properties = Index().Properties;
    const auto it = properties.find(name);
    return it == properties.end() ? nullptr : it->second;
}

const TClassDef* FindClassDef(std::u16string_view name) {
    const auto& classes = Index().Classes;
    const auto it = classes.find(name);
    return it == classes.end() ? nullptr : it->second;
}

bool ClassHasProperty(const TClassDef& cls, std::u16string_view property) {
    return FindClassPropertyDef(cls, property) != nullptr;
}

const TPropertyDef* FindClassPropertyDef(const TClassDef& cls, std::u16string_view property) {
    const size_t position = ClassPropertyPosition(cls, property);
    return position == size_t(-1) ? nullptr : ClassPropertyDefs(cls)[position];
}

size_t ClassPropertyPosition(const TClassDef& cls, std::u16string_view property) {
    const auto& members = Index().Members[static_cast<size_t>(&cls - AllClassDefs().data())];
    const auto it = members.find(property);
    return it == members.end() ? size_t(-1) : it->second;
}

const std::vector<const TPropertyDef*>& ClassPropertyDefs(const TClassDef& cls) {
    return Index().Ordered[static_cast<size_t>(&cls - AllClassDefs().data())];
}

TOleVariant DefaultPropertyValue(const TPropertyDef& def) {
    switch (def.Syntax) {
    case msString:
    case msExpandSz:
        return std::u16string();
    case msInteger:
        return 0;
    case msBoolean:
        return false;
    case msIPSec:
        return TAutoObjectPtr(std::make_shared<TIPSecurityObject>());
    case msNTAcl:
        return TextArray({u"", u""});
    default:
        return std::vector<TOleVariant>();
    }
}

TOleVariant NormalisePropertyValue(const TPropertyDef& def, const TOleVariant& value) {
    switch (def.Syntax) {
    case msString:
    case msExpandSz:
        return value.AsText();
    case msInteger:
        return value.AsInteger();
    case msBoolean:
        return value.AsBoolean();
    case msList:
        return TextArray(TextsOfArray(value));
    case msBinary: {
        std::vector<TOleVariant> bytes;
        if (!(value.IsEmpty() || (value.Kind() == TVariantKind::vkText && value.AsText().empty())))
            for (const TOleVariant& item : value.AsArray())
                bytes.emplace_back(ByteOf(item));
        return TOleVariant(std::move(bytes));
    }
    case msIPSec: {
        const auto* ipsec = dynamic_cast<const TIPSecurityObject*>(value.AsObject().get());
        if (!ipsec)
            throw EOleSysError(hr::TypeMismatch);
        return TAutoObjectPtr(ipsec->Clone());
    }
    case msMimeMap: {
        std::vector<std::u16string> entries;
        for (const TOleVariant& item : value.AsArray()) {
            const auto* entry = dynamic_cast<const TMimeTypeObject*>(item.AsObject().get());
            if (!entry)
                throw EOleSysError(hr::TypeMismatch);
            entries.push_back(entry->Extension + u"," + entry->MimeType);
        }
        return TextArray(entries);
    }
    case msNTAcl: {
        const auto* acl = dynamic_cast<const TAdminAclObject*>(value.AsObject().get());
        if (!acl)
            throw EOleSysError(hr::TypeMismatch);
        return TextArray({acl->Owner, acl->Group});
    }
    }
    throw EOleSysError(hr::TypeMismatch);
}

TOleVariant PresentPropertyValue(const TPropertyDef& def, const TOleVariant& stored) {
    switch (def.Syntax) {
    case msIPSec:
        return TAutoObjectPtr(dynamic_cast<const TIPSecurityObject&>(*stored.AsObject()).Clone());
    case msMimeMap: {
        std::vector<TOleVariant> entries;
        for (const TOleVariant& item : stored.AsArray()) {
            auto entry = std::make_shared<TMimeTypeObject>();
            const std::u16string& text = item.AsText();
            const size_t comma = text.find(u',');
            entry->Extension = text.substr(0, comma);
            entry->MimeType = comma == std::u16string::npos ? std::u16string() : text.substr(comma + 1);
            entries.emplace_back(TAutoObjectPtr(entry));
        }
        return TOleVariant(std::move(entries));
    }
    case msNTAcl: {
        auto acl = std::make_shared<TAdminAclObject>();
        acl->Owner = stored[0].AsText();
        acl->Group = stored[1].AsText();
        return TAutoObjectPtr(acl);
    }
    default:
        return stored;
    }
}

} // namespace orvex
