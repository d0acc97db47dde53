/*
 * zentrolink: read and change the contents of Android phones from a desktop host.
 *
 * The library drives the adb client (beside the host executable) as child processes and talks
 * to a companion application on the phone over a length-prefixed TCP protocol. Every export is
 * a cdecl function; integers are 32-bit signed unless stated; texts are 8-bit byte strings
 * passed through unchanged. 0 means success and -1 failure unless an export says otherwise.
 * Exports run on the host's threads one at a time; only progress getters may be called from a
 * second thread while a long call runs. Callbacks run on the library's own threads.
 *
 * Device index: 0 to 9 selects a row of the device table; command channels exist for 0 and 1.
 * PC paths: pass absolute ones. A relative path that adb reads or writes (install, push, pull)
 * is taken relative to the host program's folder; one the library opens itself (the QR image,
 * channel downloads) relative to the process's current folder.
 */
#ifndef ZENTROLINK_H
#define ZENTROLINK_H

#include <stdint.h>

#ifdef _WIN32
#define ZENTRO_CALL __cdecl
#define ZENTRO_API
#else
#define ZENTRO_CALL
#define ZENTRO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A host callback: takes one integer, its result is ignored. */
typedef void(ZENTRO_CALL* ZentroCallback)(int32_t value);

/* Values passed to the USB callback. */
#define ZENTRO_USB_ARRIVAL 100
#define ZENTRO_USB_REMOVAL 101

/* ---------------------------------------------------------------------------------------- */
/* Records filled in host memory. Gap-free layouts: the host reads them by offset.           */
/* ---------------------------------------------------------------------------------------- */
#pragma pack(push, 1)

/* Filled by Zentro_GetAndroidDevicesInfo (436 bytes). The numbers are reported as 0. */
typedef struct DeviceInfoRecord {
    char brand[128];            /* offset 0 */
    char serial[64];            /* offset 128 */
    char model[64];             /* offset 192 */
    char androidVersion[128];   /* offset 256 */
    uint64_t memTotal;          /* offset 384 */
    uint64_t memAvail;          /* offset 392 */
    uint32_t reserved;          /* offset 400 */
    uint64_t phoneStorageTotal; /* offset 404 */
    uint64_t phoneStorageAvail; /* offset 412 */
    uint64_t sdStorageTotal;    /* offset 420 */
    uint64_t sdStorageAvail;    /* offset 428 */
} DeviceInfoRecord;

/* One installed application (1200 bytes). */
typedef struct AppInfoRecord {
    int32_t reserved;
    char packageName[256];
    char className[256];
    char label[256];
    char versionName[256];
    int32_t versionCode;
    int32_t systemApp;
    int32_t onSdCard;
    int32_t cacheSize;
    int32_t dataSize;
    int32_t codeSize;
    int32_t totalSize;
    int64_t installTime;
    int64_t lastUpdateTime;
    char permissions[128];
} AppInfoRecord;

/* Photo item details (1308 bytes). */
typedef struct PhotoInfo {
    int32_t id;
    char title[256];
    char path[1024];
    int64_t size;
    int64_t modifiedTime;
    int64_t createdTime;
} PhotoInfo;

/* Music item details (1832 bytes). albumId precedes the texts. */
typedef struct MusicInfo {
    int32_t id;
    int32_t albumId;
    char title[256];
    char album[256];
    char artist[256];
    char path[1024];
    int64_t duration;
    int64_t size;
    int64_t modifiedTime;
    int64_t createdTime;
} MusicInfo;

/* Video item details (1572 bytes). */
typedef struct VideoInfo {
    int32_t id;
    char title[256];
    char displayName[256];
    char path[1024];
    int64_t duration;
    int64_t size;
    int64_t modifiedTime;
    int64_t createdTime;
} VideoInfo;

#pragma pack(pop)

/* ---------------------------------------------------------------------------------------- */
/* List nodes owned by the library; the host walks them through `next`. Text fields are null  */
/* (key absent) or zero-terminated copies valid until the list is next refreshed or cleared. */
/* ---------------------------------------------------------------------------------------- */

/* One text message (48 bytes on 32-bit builds). */
typedef struct SmsRecord {
    char* id;
    char* person;
    char* address;
    char* body;
    char* date; /* YYYY-MM-DD HH:MM:SS */
    char* type;
    char* read;
    char* threadId;
    char* reserved;
    uint32_t flags1;
    uint32_t flags2;
    struct SmsRecord* next;
} SmsRecord;

/* One call-log entry (40 bytes on 32-bit builds). */
typedef struct CallHistoryRecord {
    char* id;
    char* name;
    char* number;
    char* date;
    char* type;
    char* duration;
    char* reserved;
    uint32_t flags1;
    uint32_t flags2;
    struct CallHistoryRecord* next;
} CallHistoryRecord;

/* One calendar event (56 bytes on 32-bit builds). */
typedef struct CalenderRecord {
    char* id;
    char* calendarId;
    char* title;
    char* start;
    char* end;
    char* location;
    char* timeZone;
    char* description;
    char* hasAlarm;
    char* reminderMinutes;
    char* recurrenceRule;
    uint32_t flags1;
    uint32_t flags2;
    struct CalenderRecord* next;
} CalenderRecord;

/* One contact (96 bytes on 32-bit builds). fields[n] is the person field number n. */
typedef struct PersonRecord {
    char* fields[21];
    uint32_t reserved1;
    uint32_t reserved2;
    struct PersonRecord* next;
} PersonRecord;

/* Person field numbers: positions in PersonRecord.fields. */
enum {
    ZENTRO_PERSON_ID = 0,
    ZENTRO_PERSON_NAME = 1,
    ZENTRO_PERSON_LAST_NAME = 2,
    ZENTRO_PERSON_NICKNAME = 3,
    ZENTRO_PERSON_MOBILE = 4,
    ZENTRO_PERSON_HOME_PHONE = 5,
    ZENTRO_PERSON_WORK_PHONE = 6,
    ZENTRO_PERSON_WEBSITE = 7,
    ZENTRO_PERSON_HOME_EMAIL = 8,
    ZENTRO_PERSON_BIRTHDAY = 9,
    ZENTRO_PERSON_GROUP = 10,
    ZENTRO_PERSON_NOTE = 11,
    ZENTRO_PERSON_ORG_NAME = 12,
    ZENTRO_PERSON_ORG_TITLE = 13,
    ZENTRO_PERSON_HOME_ADDRESS = 16,
    ZENTRO_PERSON_WORK_ADDRESS = 17,
    ZENTRO_PERSON_HOME_FAX = 18,
    ZENTRO_PERSON_WORK_FAX = 19,
    ZENTRO_PERSON_WORK_EMAIL = 20
};

/* A link of a grouping to one SmsRecord or CallHistoryRecord (not owned by the group). */
typedef struct TempGroupMember {
    void* record;
    struct TempGroupMember* next;
} TempGroupMember;

/* One conversation: its members and the latest date key (seconds) among them. */
typedef struct SmsTempGroup {
    TempGroupMember* first;
    TempGroupMember* last;
    int64_t latestDate;
    struct SmsTempGroup* next;
} SmsTempGroup;

/* The calls of one number. */
typedef struct CallLogTempGroup {
    TempGroupMember* first;
    TempGroupMember* last;
    struct CallLogTempGroup* next;
} CallLogTempGroup;

/* ---------------------------------------------------------------------------------------- */
/* Library frame                                                                              */
/* ---------------------------------------------------------------------------------------- */

/* Prepares the work folder (emptied at the first call of a process), starts the USB watcher
 * once and allocates the transfer buffer. May be called again. Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_Init(void);

/* Stops the companion on device 0 and ends the adb server, without waiting. Frees nothing;
 * the library may be used again. Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_UnInit(void);

/* Registers (or with null removes) the callback that receives 100 on a USB arrival and 101 on
 * a removal, on the watcher thread. 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_SetUSBCallBack(ZentroCallback callback);

/* Registers (or with null removes) the callback that receives 0 after a phone joined over
 * WiFi, on the pairing server thread. 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_SetWiFiConnectCallBack(ZentroCallback callback);

/* Progress of the running or last Zentro_ReadyTodoing: 0 before any, then 10..100. Safe to
 * call from another thread. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetReadyTodoProgress(void);

/* 0 when the feature number is one of 0..6, else -1. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckSupportEnabled(int32_t feature);

/* Retired operations kept for hosts that still call them: they read no argument, change
 * nothing and return 0. Extra arguments are harmless (the caller removes them). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearAllApp(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_DeleteCalender(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_DeleteCallHistory(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_DeletePerson(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_DeletePersonImage(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_DeleteSMS(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetOnePersonInfo(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPersonImage(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_UpdateCallHistory(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_UpdatePersonImage(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_UpdateSMS(void);

/* ---------------------------------------------------------------------------------------- */
/* Detection and device information                                                           */
/* ---------------------------------------------------------------------------------------- */

/* Refreshes the device table from "adb devices" and reads the phone's properties.
 * 0: the row is usable; -1: list unreadable or the phone is in another state (unauthorized);
 * -2: the phone is offline (adb server restarted); -5: no phone at this index (restarted). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDeviceDetected(int32_t deviceIndex);

/* Copies brand, serial, model and release of the row into *info (zeroed first).
 * 0; -1 for an index outside 0..8. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAndroidDevicesInfo(DeviceInfoRecord* info, int32_t deviceIndex);

/* Takes a screenshot on the phone and pulls the PNG to pcPath. Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAndroidDevicesScreenCap(const char* pcPath, int32_t deviceIndex);

/* 0 when row 0 holds serial0 and row 1 holds serial1 exactly, else -1. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDevicesID(const char* serial0, const char* serial1);

/* USB phones present now plus phones joined over WiFi. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckConnectDeviceToPC_Count(void);

/* -1 without a USB phone; else runs the driver installer beside the host when device 0 is not
 * usable and returns Zentro_CheckDeviceDetected(0). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_installAndroidDrivertoPC(void);

/* 0 when the USB phone at usbIndex shows its debugging interface (or no such entry); else
 * the result of Zentro_CheckDeviceDetected(usbIndex). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckEnableUSBDebug(int32_t usbIndex);

/* 2 when the USB phone at usbIndex enables debugging the second way, else 1. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckOpenDebugType(int32_t usbIndex);

/* ---------------------------------------------------------------------------------------- */
/* Preparation and connection test                                                            */
/* ---------------------------------------------------------------------------------------- */

/* Prepares the phone: for USB force-stop, uninstall, install "zentrolink.apk" from beside the
 * host, start, handshake; for WiFi the handshake alone. Progress 10,20,30,50,70,100.
 * 0 when the companion answers, -1 when a step failed. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_ReadyTodoing(int32_t deviceIndex);

/* 0 when the companion of the device answers the handshake, else -1. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDevicesIsConnect(int32_t deviceIndex);

/* ---------------------------------------------------------------------------------------- */
/* Bulk refresh: reloads a whole list from device 0 (whatever the argument), page after page. */
/* Another thread may poll the totals and offsets and call Zentro_AbortFlushAllDB meanwhile.  */
/* ---------------------------------------------------------------------------------------- */

/* Reload every message / call-log entry / contact. 0 when done or stopped by the abort flag
 * (checked after each page); -1 when the count was 0 or failed, or a page failed (earlier
 * pages stay listed). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMSAll(int32_t unused);
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallHistoryAll(int32_t unused);
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushPersonAll(int32_t unused);

/* The total of the running or last bulk refresh of the kind (0 until the count is known), and
 * the offset of its page in flight (after a full run: the last multiple of 5 below the total). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMSAll_Count(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMSAll_Index(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallLogAll_Count(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallLogAll_Index(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushContactAll_Count(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushContactAll_Index(void);

/* Sets the abort flag: every bulk refresh stops after its current (or first) page until
 * Zentro_ResetFlushAllDBStatus clears it. Both return 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_AbortFlushAllDB(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ResetFlushAllDBStatus(void);

/* ---------------------------------------------------------------------------------------- */
/* Messages                                                                                   */
/* Lists below belong to the library: *head stays valid until the list is next freed.        */
/* ---------------------------------------------------------------------------------------- */

/* Asks the phone ("getsmsCount;") how many messages it holds: the count, or -1 for none, no
 * answer or a failed send. Changes no list. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMS_Count(int32_t deviceIndex);

/* Frees the message list, then adds the page of messages from startOffset on (each page lands
 * ahead of earlier ones, in reverse reply order). Always 0; a failed page leaves it empty. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMS(int32_t deviceIndex, int32_t startOffset);

/* Adds the page from startOffset on without freeing the list first. Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMS_Not_ClearList(int32_t deviceIndex, int32_t startOffset);

/* Only frees the message list. Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushSMS_Only_ClearList(void);

/* Stores the first node (null when empty) in *head and returns the node count; -1 for a null
 * head. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetSMS(SmsRecord** head);

/* Sorts the message list in place by date ("YYYY-MM-DD HH:MM:SS" read as local time; a missing
 * date counts as 0): order 1 oldest first, any other value newest first. Contents move between
 * the nodes, the links stay, so the head is the same node. Then as Zentro_GetSMS. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetSMSSort(SmsRecord** head, int32_t order);

/* Groups the message list, in its current order, into conversations (same thread id, or same
 * address as a conversation's latest member), newest conversation first; *head receives the
 * first (null for an empty list). The groups point into the list: valid until the next call or
 * until the message list is freed. 0; -1 for a null head location. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetSMSTempGroup(SmsTempGroup** head);

/* ---------------------------------------------------------------------------------------- */
/* Messages: actions                                                                          */
/* Commands carry host texts as hex items, each cut to 510 bytes (a body to 1,020). The      */
/* command is made as long as its items need, so no command is refused or cut for its length. */
/* Answers are the companion's 4-byte status; 0 when the send failed or nothing came back.   */
/* ---------------------------------------------------------------------------------------- */

/* Sends (or stores) one message: its address, body, date, read-state and type are read, the
 * address as one item whatever it holds. The companion's answer; -1 for a null message. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_SendSMS(SmsRecord* message, int32_t deviceIndex);

/* Asks the companion to delete the phone's messages. The companion's answer. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearSMS(int32_t deviceIndex);

/* 1 when the device row is in use and its Android release is 4.4 or later, else 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckAndroidVersionAt44(int32_t deviceIndex);

/* Make the companion the default messaging application, or give the role back. 0 and
 * nothing sent before Android 4.4; otherwise the companion's answer. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_SetDefaultMessage(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ReSetDefaultMessage(int32_t deviceIndex);

/* 0 when the companion is the default messaging application (or before Android 4.4, nothing
 * asked); -1 when another application is, or no answer came. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_CheckDefaultMessangeOK(int32_t deviceIndex);

/* ---------------------------------------------------------------------------------------- */
/* Call log                                                                                   */
/* ---------------------------------------------------------------------------------------- */

/* The phone's call-log count ("getcalllogcount;"), or -1 for none or a failure. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallLog_Count(int32_t deviceIndex);

/* Frees the call-log list, then appends the page from startOffset on in reply order. 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallHistory(int32_t deviceIndex, int32_t startOffset);

/* Appends the page from startOffset on behind the entries already listed. Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallHistory_Not_ClearList(int32_t deviceIndex,
                                                                     int32_t startOffset);

/* Only frees the call-log list. Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCallHistory_Only_ClearList(void);

/* Stores the first entry (null when empty) in *head; the entry count, -1 for a null head. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetCallHistory(CallHistoryRecord** head);

/* Groups the call-log list by phone number: each group lists its calls in list order; groups
 * come in the reverse order of each number's first call. *head receives the first group (null
 * for an empty list); valid until the next call or until the call log is freed. 0; -1 for a
 * null head location. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetCallLogTempGroup(CallLogTempGroup** head);

/* ---------------------------------------------------------------------------------------- */
/* Call log: actions                                                                          */
/* ---------------------------------------------------------------------------------------- */

/* Asks the companion to delete the phone's call log. The companion's answer. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearCallHistory(int32_t deviceIndex);

/* Adds one call from number, date, type and duration (hex items of at most 510 bytes each;
 * the command grows to fit, never refused for length). The answer; -1 for a null record. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddCallHistory(CallHistoryRecord* call, int32_t deviceIndex);

/* ---------------------------------------------------------------------------------------- */
/* Calendar                                                                                   */
/* ---------------------------------------------------------------------------------------- */

/* The phone's event count ("getcalendarcount;"), or -1 for none or a failure. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCalender_Count(int32_t deviceIndex);

/* Frees the calendar list, then appends the page of events from startOffset on. Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushCalender(int32_t deviceIndex, int32_t startOffset);

/* Stores the first event (null when empty) in *head. 0 (the list keeps no count); -1 for a
 * null head. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetCalender(CalenderRecord** head);

/* ---------------------------------------------------------------------------------------- */
/* Calendar: actions                                                                          */
/* ---------------------------------------------------------------------------------------- */

/* Asks the companion to delete the phone's calendar events. The companion's answer. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearCalender(int32_t deviceIndex);

/* Adds one event from title to recurrence rule (hex items of at most 510 bytes each; the
 * command grows to fit, never refused for length). A missing rule is sent as one blank.
 * The answer; -1 for a null record. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddCalender(CalenderRecord* event, int32_t deviceIndex);

/* ---------------------------------------------------------------------------------------- */
/* Contacts                                                                                   */
/* ---------------------------------------------------------------------------------------- */

/* The phone's contact count ("getcontactCount;"), or -1 for none or a failure. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushContact_Count(int32_t deviceIndex);

/* Frees the contact list, then adds the page from startOffset on (reverse reply order).
 * Always 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushPerson(int32_t deviceIndex, int32_t startOffset);

/* Stores the first contact (null when empty) in *head; the contact count, -1 for a null head. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPerson(PersonRecord** head);

/* ---------------------------------------------------------------------------------------- */
/* Contacts: editing                                                                          */
/* `fields` is an array of 21 texts laid out like PersonRecord.fields (a PersonRecord may be  */
/* passed); [1] first name and [2] last name make one name, [0] is not read. Every text goes  */
/* as hex of at most its first 510 bytes; commands grow to fit, none is refused for length.   */
/* ---------------------------------------------------------------------------------------- */

/* Adds a contact with a name and a phone number. Its new id, 0 when nothing came back. */
ZENTRO_API int64_t ZENTRO_CALL Zentro_AddPerson(const char* name, const char* phone, int32_t deviceIndex);

/* Adds a contact (name, mobile number), then sets each further non-empty field 3..20 with
 * Zentro_updatePerson. 0 once added; -1 for a null array or when no id came back. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddPerson2(char* const* fields, int32_t deviceIndex);

/* Adds a contact with every field in one command. The low 32 bits of its new id, 0 when
 * nothing came back; -1 for a null array. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddPerson3(char* const* fields, int32_t deviceIndex);

/* Sets field `kind` (a person field number 1..20 except 14 and 15) of contact `id` (decimal
 * text of any length, sent as written). The companion's status, 0 when none; -1 and nothing
 * sent for another kind, a null or empty id or value, or a value of one double quote. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_updatePerson(const char* id, int32_t kind, const char* value,
                                                   int32_t deviceIndex);

/* Asks the companion to delete every contact on the phone. Its status, 0 when none. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearPerson(int32_t deviceIndex);

/* ---------------------------------------------------------------------------------------- */
/* WiFi pairing                                                                               */
/* ---------------------------------------------------------------------------------------- */

/* Starts the pairing server at the first call (port 20166 or above, on the host name's first
 * IPv4 address) and writes a 24-bit bitmap of the QR code "PC_SERVERIP:<address>:<port>" to
 * imagePath. The second argument is not read. 0 once the server exists, even when the image
 * could not be written; -1 when there is no server. A phone that registers becomes a device
 * row with connectionKind 1 and the WiFi callback receives 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPCQRGeneratorImage(const char* imagePath, int32_t unused);

/* ---------------------------------------------------------------------------------------- */
/* Applications                                                                               */
/* ---------------------------------------------------------------------------------------- */

/* Asks the companion to rebuild its application list; its reply integer (0 when none came). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushDevicesApp(int32_t deviceIndex);

/* The number of applications in the companion's list (0 when no reply came). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAppCount(int32_t deviceIndex);

/* Clears *info, then fills it with entry `index`; texts cut to 254 bytes (permissions 127).
 * 0, or -1 (no reply; the record stays all zero). */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetAppInfo(AppInfoRecord* info, int32_t index, int32_t deviceIndex);

/* Installs the package file with adb; mode 1 "-l", 2 "-r", 3 "-s", 4 none, 5 "-r -s". 0 once
 * adb ran (its outcome is not read) and, doing nothing, for a WiFi phone; -1 for another mode,
 * a path holding a double quote or too long, or adb not starting. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_InstallAppToMemory(const char* packagePath, int32_t mode,
                                                         int32_t deviceIndex);

/* Uninstalls the package with adb; mode 1 plain, 2 keeping data. 0 once adb ran; -1 for another
 * mode, a WiFi phone, a name too long, or adb not starting. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_UnInstallApp(const char* packageName, int32_t mode,
                                                   int32_t deviceIndex);

/* Not offered: read no argument, always -1. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_MoveAppToMemory(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_MoveAppToSdCard(void);

/* Pulls /data/app/<package>-1.apk to outputPath with adb. 0 once adb ran; -1 for a WiFi phone,
 * arguments too long, or adb not starting. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportApp(const char* packageName, const char* outputPath,
                                                int32_t deviceIndex);

/* ---------------------------------------------------------------------------------------- */
/* Photos, music and videos                                                                   */
/* ---------------------------------------------------------------------------------------- */
/* Refresh, count, delete and clear return the companion's reply integer (0 when none came).
 * Info exports clear only the id, then fill the fields the reply carries (others keep what the
 * host left; long texts are cut to the field): 0, or -1 without a reply. Thumbnails point
 * *picture into a library buffer that the next thumbnail or record fetch overwrites: the byte
 * count, or -1 (a reply of 4 bytes or less is a status).
 *
 * Downloads: the plain export pulls with adb over USB (0 also when the phone reports no path,
 * -1 when it cannot say where the file is, or the PC name holds a double quote or is too long)
 * and reads in chunks over the channel for a WiFi phone; the export with 2 always reads in
 * chunks. A chunked download returns -1 only when the PC file cannot be created; otherwise 0
 * with progress 100 at the end, even when it ended early (abort, phone refusal): the host
 * tells a short file by its size, and the log says how many bytes arrived. A read reply of at
 * most 4 bytes is a status, except one that ends exactly at `filesize`: that is the file's tail.
 * A `filesize` of 0 or less counts as 1.
 *
 * Phone-to-phone copies read the item from the source phone in chunks and store it on the
 * destination under deviceFileName (at most 510 bytes). 0 once started (an abort ends it with
 * the file abandoned on the destination); -1 for an empty or too long name. Abort and progress
 * exports may be called from another thread while a transfer runs. */

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushDevicesPhotos(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPhotoCount(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPhotoInfo(PhotoInfo* info, int32_t position, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPhotoThumb(char** picture, int32_t key, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_DeletePhoto(int32_t key, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearPhoto(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportPhotofromDevice(int32_t photo_id, const char* pcfilename,
                                                            int64_t filesize, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportPhotofromDevice2(int32_t photo_id, const char* pcfilename,
                                                             int64_t filesize, int32_t deviceIndex);
/* Asks the running photo transfer to stop after its current chunk. 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoAbort(void);
/* Percentage of the running or last chunked photo transfer. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetPhotoProgress(void);

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushDevicesMusic(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetMusicCount(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetMusicInfo(MusicInfo* info, int32_t position, int32_t deviceIndex);
/* The two keys go to the companion in this order. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetMusicThumb(char** picture, int32_t key, int32_t secondKey,
                                                    int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_DeleteMusic(int32_t key, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearMusic(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportMusicfromDevice(int32_t songid, const char* pcfilename,
                                                            int64_t filesize, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportMusicfromDevice2(int32_t songid, const char* pcfilename,
                                                             int64_t filesize, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_TransferMusicfromDevice(int32_t songid, const char* device_filename,
                                                              int64_t filesize, int32_t src_deviceindex,
                                                              int32_t des_deviceindex);
/* Asks the running music transfer to stop; returns -1 although the request is taken. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicAbort(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetMusicProgress(void);
/* Bytes delivered so far by the running or last phone-to-phone music copy. */
ZENTRO_API int64_t ZENTRO_CALL Zentro_GetMusicProgressSize(void);

ZENTRO_API int32_t ZENTRO_CALL Zentro_FlushDevicesVideo(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetVideoCount(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetVideoInfo(VideoInfo* info, int32_t position, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_DeleteVideofromDevice(int32_t key, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ClearVideofromDevice(int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportVideofromDevice(int32_t videoid, const char* pcfilename,
                                                            int64_t filesize, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_ExportVideofromDevice2(int32_t videoid, const char* pcfilename,
                                                             int64_t filesize, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_TransferVideofromDevice(int32_t videoid, const char* device_filename,
                                                              int64_t filesize, int32_t src_deviceindex,
                                                              int32_t des_deviceindex);
/* Asks the running video transfer to stop. 0. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoAbort(void);
ZENTRO_API int32_t ZENTRO_CALL Zentro_GetVideoProgress(void);
/* Bytes delivered so far by the running or last phone-to-phone video copy. */
ZENTRO_API int64_t ZENTRO_CALL Zentro_GetVideoProgressSize(void);

/* ---------------------------------------------------------------------------------------- */
/* Uploads                                                                                    */
/* ---------------------------------------------------------------------------------------- */
/* Add a PC file to the phone as a photo, music track or video named device_filename (a bare
 * file name). The plain export pushes with adb over USB and streams over the channel for a WiFi
 * phone; the export with 2 always streams.
 *
 * USB: when the phone reports the name taken it is numbered in place, "IMG_1(1).jpg" up to
 * "IMG_1(9).jpg", each number replacing the previous one; the whole extension (the text after
 * the last "." that is not the first character) is kept however long it is, and a name without
 * one is numbered at its end ("notes(1)", ".profile(1)"). The name numbered 9 is pushed even
 * when taken. -1, with nothing pushed, when the phone does not answer the name test (a video's
 * answer may be 1 to 4 bytes, a photo's or song's must be 4), for an empty device file name or
 * one holding a double quote, ";" or "/", a PC file name holding a double quote, or names whose
 * numbered form would not fit the commands (about 490 bytes). A failed adb push is not seen: 0.
 *
 * Channel: chunks of the whole shared transfer buffer (100 KiB by default); progress is sent
 * bytes * 100 / file length and reads 100 after a whole file; the abort export stops it after
 * the current chunk. -1 before anything is sent for a PC file that cannot be opened, or an empty
 * device file name or one over 510 bytes; otherwise 0, the session closed with the completion
 * notice, or the abandon notice after an abort. Not beside another chunked transfer. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_addPhoto(const char* pcfilename, const char* device_filename,
                                               int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_addPhoto2(const char* pcfilename, const char* device_filename,
                                                int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddMusicToDevice(const char* pcfilename, const char* device_filename,
                                                       int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddMusicToDevice2(const char* pcfilename, const char* device_filename,
                                                        int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddVideoToDevice(const char* pcfilename, const char* device_filename,
                                                       int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_AddVideoToDevice2(const char* pcfilename, const char* device_filename,
                                                        int32_t deviceIndex);

/* ---------------------------------------------------------------------------------------- */
/* Streamed files: one command per call, with the host's own buffers                          */
/* ---------------------------------------------------------------------------------------- */
/* Open starts a write session for device_filename (the companion's reply integer, 0 when none
 * came). Write sends count bytes and returns the reply bytes received (4 when acknowledged,
 * whatever the integer), negative when the channel failed. Read asks for count bytes of item id
 * at a 64-bit offset into buffer (capacity count): the bytes received, or negative; 4 bytes or
 * fewer are a status from the companion. Close ends the session and sends the abandon notice
 * when abandoned is not 0, else the completion notice, with the name given to open: always 0.
 * Only one write session per kind and phone at a time. The library keeps no state between the
 * calls and does not touch the transfer buffer, progress or abort flags. */
ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoOpen(const char* device_filename, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoWrite(const void* bytes, int32_t count, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoRead(void* buffer, int32_t count, int32_t photo_id, int64_t offset,
                                                int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_PhotoClose(int32_t abandoned, const char* device_filename,
                                                 int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicOpen(const char* device_filename, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicWrite(const void* bytes, int32_t count, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicRead(void* buffer, int32_t count, int32_t songid, int64_t offset,
                                                int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_MusicClose(int32_t abandoned, const char* device_filename,
                                                 int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoOpen(const char* device_filename, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoWrite(const void* bytes, int32_t count, int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoRead(void* buffer, int32_t count, int32_t videoid, int64_t offset,
                                                int32_t deviceIndex);
ZENTRO_API int32_t ZENTRO_CALL Zentro_VideoClose(int32_t abandoned, const char* device_filename,
                                                 int32_t deviceIndex);

/* ---------------------------------------------------------------------------------------- */
/* Transfer session markers                                                                   */
/* ---------------------------------------------------------------------------------------- */
/* Relayed to the phone at device index 0 when one device row is in use, to indexes 0 and 1 when
 * two or more are; nothing when none is. Replies and failures are ignored. The update carries
 * text as it is (not hex) and the number in decimal; a null text, or one that would make the
 * command longer than 1,023 characters, is not sent. */
ZENTRO_API void ZENTRO_CALL Zentro_sync_zentrolink_Start(void);
ZENTRO_API void ZENTRO_CALL Zentro_sync_zentrolink_Update(const char* text, int32_t number);
ZENTRO_API void ZENTRO_CALL Zentro_sync_zentrolink_End(void);

#ifdef __cplusplus
}
#endif

#endif /* ZENTROLINK_H */
