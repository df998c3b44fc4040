/*
 * plugin_abi.h: the boundary between a plug-in host and a plug-in library.
 *
 * Plain C records and function tables only; it compiles as C and as C++.
 * Every record uses one-byte packing. Fields that carry a pointer (texts,
 * arrays, records, functions, the plug-in object, context and handle words)
 * are pointer-sized; every other field keeps its stated width. With 4-byte
 * pointers every size and offset below is the documented wire layout, which
 * the static assertions at the end check.
 *
 * Ownership phrases used throughout:
 *   owned by the host, valid until ...
 *   owned by the plug-in, released by ...
 *   borrowed for the duration of the call
 *
 * Thread tags: [host thread] marks calls made on the host's loop thread;
 * [re-entrant] marks calls during which the other side may call back.
 */
#ifndef KIV_PLUGIN_ABI_H
#define KIV_PLUGIN_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KIV_EXPORT __attribute__((visibility("default")))
#else
#define KIV_EXPORT
#endif

/* Plug-in API version of this header; the compatibility rule is
 * kiv_api_version_is_compatible() below. */
#define KIV_PLUGIN_API_MAJOR 18u
#define KIV_PLUGIN_API_MINOR 0u
#define KIV_PLUGIN_API_PATCH 0u

/* HTTP-style methods, shared by requests and function entries. */
enum {
  KIV_METHOD_NONE = 0,
  KIV_METHOD_DELETE = 1,
  KIV_METHOD_GET = 2,
  KIV_METHOD_HEAD = 3,
  KIV_METHOD_OPTIONS = 4,
  KIV_METHOD_PATCH = 5,
  KIV_METHOD_POST = 6,
  KIV_METHOD_PUT = 7,
  KIV_METHOD_CUSTOM = 8 /* the request carries its own method text */
};

/* HostValue tags. Each pair (5/6, 7/8) is read alike; the second of a pair
 * is what a plug-in writes for memory it allocated. */
enum {
  KIV_VALUE_NULL = 0,
  KIV_VALUE_BOOL = 1,
  KIV_VALUE_SIGNED = 2,
  KIV_VALUE_UNSIGNED = 3,
  KIV_VALUE_DOUBLE = 4,
  KIV_VALUE_TEXT = 5,
  KIV_VALUE_TEXT_OWNED = 6,
  KIV_VALUE_BYTES = 7,
  KIV_VALUE_BYTES_OWNED = 8,
  KIV_VALUE_ARRAY = 9,
  KIV_VALUE_OBJECT = 10
};

/* Argument locations of a function argument. */
enum {
  KIV_LOCATION_ANY = 0,
  KIV_LOCATION_QUERY = 1,
  KIV_LOCATION_PATH = 2,
  KIV_LOCATION_HEADER = 4,
  KIV_LOCATION_BODY = 5
};

/* Kinds of a described type (ApiTypeRef.kind): the binding type kinds.
 * 0 means "no value" (a function that returns nothing). */
enum {
  KIV_TYPE_NONE = 0,
  KIV_TYPE_BOOL = 1,
  KIV_TYPE_INT8 = 2,
  KIV_TYPE_UINT8 = 3,
  KIV_TYPE_INT16 = 4,
  KIV_TYPE_UINT16 = 5,
  KIV_TYPE_INT32 = 6,
  KIV_TYPE_UINT32 = 7,
  KIV_TYPE_INT64 = 8,
  KIV_TYPE_UINT64 = 9,
  KIV_TYPE_FLOAT = 10,
  KIV_TYPE_DOUBLE = 11,
  KIV_TYPE_STRING = 12,
  KIV_TYPE_OBJECT = 13, /* any binding value */
  KIV_TYPE_BLOB = 14,
  KIV_TYPE_VECTOR = 15,
  KIV_TYPE_ENUM = 16,
  KIV_TYPE_STRUCT = 17,
  KIV_TYPE_CALLBACK = 18,
  KIV_TYPE_MAP = 19
};

/* ApiTypeEntry.kind */
enum { KIV_TYPE_ENTRY_STRUCT = 1, KIV_TYPE_ENTRY_ENUM = 2 };

/* ApiFunctionEntry.flags */
enum { KIV_FUNCTION_THREAD_SAFE = 1, KIV_FUNCTION_ASYNC = 2 };

/* ApiFieldEntry.flags */
enum { KIV_FIELD_OMIT_WHEN_DEFAULT = 1, KIV_FIELD_REQUIRED = 2 };

#pragma pack(push, 1)

/* ---------------------------------------------------------------- values */

typedef struct HostValue {
  uint32_t tag; /* KIV_VALUE_*; above 10 is invalid */
  union {
    uint8_t boolean;  /* tag 1: 0 false, otherwise true */
    int64_t i64;      /* tag 2 */
    uint64_t u64;     /* tag 3 */
    double f64;       /* tag 4 */
    const char* text; /* tags 5, 6: NUL-terminated */
    struct {
      const void* data; /* tags 7, 8: bytes; 9: HostValue[]; 10: HostMember[] */
      uint32_t count;   /* byte, element or member count */
    } seq;
  } data;
} HostValue;

typedef struct HostMember {
  const char* key; /* NUL-terminated member name */
  HostValue value;
  uint8_t owned; /* 1 when the writer allocated the key; only the host reads it */
} HostMember;

/* -------------------------------------------------------------- requests */

typedef struct HostTypedArgument {
  const char* name; /* may be null: the argument is addressed by position */
  HostValue value;
} HostTypedArgument;

typedef struct HostNameValue {
  const char* name;
  const char* value;
} HostNameValue;

/* Borrowed for the duration of the call that carries it, in both
 * directions. */
typedef struct HostRequest {
  uint32_t method;                     /* KIV_METHOD_*; outside 1..8 reads as 0 */
  const char* path;                    /* URL path with any query string */
  const HostTypedArgument* arguments;  /* typed arguments */
  uint32_t argument_count;
  const void* function;                /* inbound: the matched ApiFunctionEntry; outbound: null */
  const HostNameValue* pairs;          /* name/value pairs (headers), lower-case names inbound */
  uint32_t pair_count;
  const char* content_type;            /* body content type */
  const uint8_t* body;                 /* body bytes */
  uint32_t body_length;
  void* host_handle;                   /* outbound: the plug-in's host handle; inbound: request token */
  const char* custom_method;           /* read when method is KIV_METHOD_CUSTOM */
} HostRequest;

struct HostResponse;

/* Streamed body: read up to *size bytes into buffer, set *size to the count
 * read and *more to 0 at the end. Returns 0 when the body cannot be read. */
typedef uint8_t (*HostStreamReadFn)(void* context, char* buffer, uint32_t* size, uint8_t* more);
typedef void (*HostStreamCloseFn)(void* context);
/* Frees what the writer of the response allocated; called once by the
 * reader of the response. */
typedef void (*HostResponseReleaseFn)(struct HostResponse* response);

/* Filled by the callee. The reader calls `release` (when set) once it is
 * done; that is the only party that frees what the writer allocated. */
typedef struct HostResponse {
  HostValue body;
  const char* error;               /* null when there is no error */
  uint8_t error_owned;             /* 1 when the writer allocated `error` */
  uint8_t format;                  /* inbound responses: format byte */
  uint32_t content_kind;           /* 1, 2 or 3, otherwise 0 */
  uint32_t status;                 /* HTTP status; 0 when none was given */
  const char* content_type;
  const HostNameValue* headers;
  uint32_t header_count;
  HostStreamReadFn stream_read;    /* null when the body is not streamed */
  HostStreamCloseFn stream_close;  /* may be null */
  uint32_t expected_length;        /* size hint for the reader of a stream */
  uint32_t reserved;               /* always 0 */
  void* stream_context;            /* passed to stream_read and stream_close */
  HostResponseReleaseFn release;   /* set by the writer; may be null */
} HostResponse;

/* ---------------------------------------------------------------- events */

typedef struct HostEvent {
  const char* name;
  HostValue payload;
  uintptr_t emitter_word; /* emitted events: the emitter's word; delivered: unused */
  void* context;          /* delivered events: the context given at subscription */
} HostEvent;

/* [host thread] Borrowed for the duration of the call. */
typedef void (*HostEventFn)(const HostEvent* event);
/* [host thread] Called once per started timer. */
typedef void (*HostTimerFn)(void* context);

/* ----------------------------------------------------------- host table */

/* The host's function table. Every entry takes the table itself first, so
 * a host may embed it in a larger record. No result word is read. */
typedef struct HostApi HostApi;
struct HostApi {
  /* 0 [host thread][re-entrant] Returns once `response` is filled (or its
   * stream functions are set). */
  uint32_t (*send_request)(const HostApi* api, HostResponse* response, const HostRequest* request);
  /* 1 reserved: never called by plug-ins of this kind. */
  uint32_t (*reserved1)(const HostApi* api, uintptr_t word0, uintptr_t word1);
  /* 2 [host thread][re-entrant] Delivers to every subscriber of the name. */
  uint32_t (*emit_event)(const HostApi* api, const HostEvent* event);
  /* 3 [host thread] flag: 0 JSON API events, 1 service-proxy/backend events. */
  uint32_t (*subscribe)(const HostApi* api, const char* name, void* host_handle, HostEventFn callback,
                        void* context, uint32_t flag);
  /* 4 [host thread] */
  uint32_t (*unsubscribe)(const HostApi* api, const char* name, void* host_handle);
  /* 5 [host thread] Calls `callback` once, after `delay_seconds`, from the loop. */
  uint32_t (*start_timer)(const HostApi* api, const char* label, HostTimerFn callback, void* context,
                          double delay_seconds, uint32_t flag);
  /* 6 [host thread][re-entrant] Runs pending work once. */
  uint32_t (*step)(const HostApi* api);
  /* 7 [host thread] Marks that the caller waits for `label`. */
  uint32_t (*begin_wait)(const HostApi* api, const char* label, uint32_t flag);
  /* 8 [host thread] Ends the wait that begin_wait opened. */
  uint32_t (*end_wait)(const HostApi* api);
  /* 9 [any thread] The text is borrowed for the duration of the call. */
  uint32_t (*write_log_line)(const HostApi* api, uint32_t level, const char* message);
};

/* Owned by the host, valid until the plug-in's unload returns. */
typedef struct HostContext {
  const HostApi* api;
  void* host_handle; /* passed back in requests, subscriptions and unsubscriptions */
} HostContext;

/* ------------------------------------------------------ plug-in records */

typedef struct PluginMemoryStats {
  uint64_t counters[6]; /* peak bytes in use, live allocations at that peak, bytes allocated,
                           allocations, bytes freed, frees */
  uint32_t reserved[2]; /* always 0 */
} PluginMemoryStats;

typedef struct PluginCallbacks {
  /* 0 [host thread] Connects the plug-in; `context` is owned by the host,
   * valid until unload returns. Returns 1 on success. */
  uint8_t (*init)(void* plugin, const HostContext* context);
  /* 1 [host thread] Shuts the plug-in down; `plugin` is gone on return. */
  void (*unload)(void* plugin);
  /* 2 [any thread] Fills `stats`, borrowed for the duration of the call. */
  void (*memory_stats)(void* ignored, PluginMemoryStats* stats);
} PluginCallbacks;

/* Request callback of every function entry. `response` is filled before
 * the call returns; the host then calls response->release. */
typedef void (*ApiRequestFn)(HostResponse* response, const HostRequest* request);

/* The type of an argument, field or result. */
typedef struct ApiTypeRef {
  uint32_t kind;         /* KIV_TYPE_* */
  uint32_t element_kind; /* vectors and maps: KIV_TYPE_* of the elements; else 0 */
  const char* type_name; /* struct or enum name (of the element for vectors and maps); else null */
} ApiTypeRef;

typedef struct ApiArgumentEntry {
  const char* name;
  const char* help;
  uint32_t location; /* KIV_LOCATION_* */
  ApiTypeRef type;
  uint8_t optional; /* 1 when the argument may be absent */
} ApiArgumentEntry;

typedef struct ApiFunctionEntry {
  uint32_t method;                     /* KIV_METHOD_*; 0 accepts every method */
  uint32_t flags;                      /* KIV_FUNCTION_* */
  void* context;                       /* passed back by the host in HostRequest.function's entry */
  const char* name;
  const char* path;                    /* path template with {name}, {+name}, {#name} */
  const char* custom_method;           /* compared when method is KIV_METHOD_CUSTOM */
  const ApiArgumentEntry* arguments;
  uint32_t argument_count;
  const char* help;
  const char* const* tags;
  uint32_t tag_count;
  ApiTypeRef result;                   /* kind 0: returns nothing */
  const char* name_space;
  uint8_t reserved0;                   /* always 0 */
  ApiRequestFn request;                /* the same for every function */
  uint8_t reserved[25];                /* always 0 */
} ApiFunctionEntry;

typedef struct ApiFieldEntry {
  const char* name;
  const char* description;
  uint32_t offset; /* byte offset in the native structure */
  ApiTypeRef type;
  uint8_t flags;   /* KIV_FIELD_* */
} ApiFieldEntry;

typedef struct ApiEnumeratorEntry {
  const char* name;
  const char* description;
  int32_t value;
} ApiEnumeratorEntry;

typedef struct ApiTypeEntry {
  const char* name;
  const char* name_space;
  const char* description;
  uint32_t kind; /* KIV_TYPE_ENTRY_* */
  uint32_t size; /* native size in bytes */
  const char* const* tags;
  uint32_t tag_count;
  union {
    const ApiFieldEntry* fields;           /* structures, in registration order */
    const ApiEnumeratorEntry* enumerators; /* enumerations, in name order */
  } members;
  uint32_t member_count;
  uint32_t type_id;
} ApiTypeEntry;

typedef struct ApiEventEntry {
  const char* name;
  const char* name_space;
  const char* payload_type; /* registered type name of the payload */
  const char* description;
  const char* const* tags;
  uint32_t tag_count;
  uint32_t reserved; /* always 0 */
} ApiEventEntry;

/* Owned by the plug-in object, valid until unload. */
typedef struct ApiDescription {
  const ApiFunctionEntry* functions;
  uint32_t function_count;
  const ApiTypeEntry* types;
  uint32_t type_count;
  const ApiEventEntry* events;
  uint32_t event_count;
} ApiDescription;

/* Words 0-2 are written by the host before the entry is called and
 * overwritten by the plug-in; words 3-6 are written by the plug-in and stay
 * valid until unload. The record itself is owned by the host. */
typedef struct PluginStartRecord {
  uint32_t api_major;
  uint32_t api_minor;
  uint32_t api_patch;
  const PluginCallbacks* callbacks;
  void* plugin;                       /* opaque; first argument of every callback */
  const char* short_name;             /* NUL-terminated */
  const ApiDescription* description;
} PluginStartRecord;

#pragma pack(pop)

/* The entry of this plug-in library. [host thread] Called once. */
KIV_EXPORT void load_kiv_collections(PluginStartRecord* record);

typedef void (*PluginEntryFn)(PluginStartRecord* record);

/* Whether a core offering `core` can load a plug-in built for `own`. */
static inline int kiv_api_version_is_compatible(uint32_t core_major, uint32_t core_minor,
                                                uint32_t core_patch, uint32_t own_major,
                                                uint32_t own_minor, uint32_t own_patch) {
  if (core_major != own_major) return 0;
  if (core_minor != own_minor) return core_minor > own_minor;
  return core_patch >= own_patch;
}

/* ------------------------------------------------------- layout checks */

#ifdef __cplusplus
#define KIV_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define KIV_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#define KIV_CHECK(type, field, offset) \
  KIV_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " offset")

KIV_STATIC_ASSERT(sizeof(PluginMemoryStats) == 56, "PluginMemoryStats size");

#if UINTPTR_MAX == 0xFFFFFFFFu
KIV_STATIC_ASSERT(sizeof(HostValue) == 12, "HostValue size");
KIV_STATIC_ASSERT(sizeof(HostMember) == 17, "HostMember size");
KIV_STATIC_ASSERT(sizeof(HostTypedArgument) == 16, "HostTypedArgument size");
KIV_STATIC_ASSERT(sizeof(HostNameValue) == 8, "HostNameValue size");
KIV_STATIC_ASSERT(sizeof(HostRequest) == 48, "HostRequest size");
KIV_CHECK(HostRequest, path, 4);
KIV_CHECK(HostRequest, arguments, 8);
KIV_CHECK(HostRequest, argument_count, 12);
KIV_CHECK(HostRequest, function, 16);
KIV_CHECK(HostRequest, pairs, 20);
KIV_CHECK(HostRequest, pair_count, 24);
KIV_CHECK(HostRequest, content_type, 28);
KIV_CHECK(HostRequest, body, 32);
KIV_CHECK(HostRequest, body_length, 36);
KIV_CHECK(HostRequest, host_handle, 40);
KIV_CHECK(HostRequest, custom_method, 44);
KIV_STATIC_ASSERT(sizeof(HostResponse) == 62, "HostResponse size");
KIV_CHECK(HostResponse, error, 12);
KIV_CHECK(HostResponse, error_owned, 16);
KIV_CHECK(HostResponse, format, 17);
KIV_CHECK(HostResponse, content_kind, 18);
KIV_CHECK(HostResponse, status, 22);
KIV_CHECK(HostResponse, content_type, 26);
KIV_CHECK(HostResponse, headers, 30);
KIV_CHECK(HostResponse, header_count, 34);
KIV_CHECK(HostResponse, stream_read, 38);
KIV_CHECK(HostResponse, stream_close, 42);
KIV_CHECK(HostResponse, expected_length, 46);
KIV_CHECK(HostResponse, stream_context, 54);
KIV_CHECK(HostResponse, release, 58);
KIV_STATIC_ASSERT(sizeof(HostEvent) == 24, "HostEvent size");
KIV_CHECK(HostEvent, payload, 4);
KIV_CHECK(HostEvent, emitter_word, 16);
KIV_CHECK(HostEvent, context, 20);
KIV_STATIC_ASSERT(sizeof(HostApi) == 40, "HostApi size");
KIV_CHECK(HostApi, write_log_line, 36);
KIV_STATIC_ASSERT(sizeof(HostContext) == 8, "HostContext size");
KIV_STATIC_ASSERT(sizeof(PluginCallbacks) == 12, "PluginCallbacks size");
KIV_STATIC_ASSERT(sizeof(PluginStartRecord) == 28, "PluginStartRecord size");
KIV_CHECK(PluginStartRecord, callbacks, 12);
KIV_CHECK(PluginStartRecord, description, 24);
KIV_STATIC_ASSERT(sizeof(ApiDescription) == 24, "ApiDescription size");
KIV_STATIC_ASSERT(sizeof(ApiFunctionEntry) == 90, "ApiFunctionEntry size");
KIV_CHECK(ApiFunctionEntry, context, 8);
KIV_CHECK(ApiFunctionEntry, name, 12);
KIV_CHECK(ApiFunctionEntry, request, 61);
KIV_STATIC_ASSERT(sizeof(ApiTypeEntry) == 40, "ApiTypeEntry size");
KIV_STATIC_ASSERT(sizeof(ApiEventEntry) == 28, "ApiEventEntry size");
#else
/* 64-bit: only pointer fields widen. */
KIV_STATIC_ASSERT(sizeof(HostValue) == 4 + sizeof(void*) + 4, "HostValue size");
KIV_STATIC_ASSERT(sizeof(HostRequest) == 48 + 8 * (sizeof(void*) - 4), "HostRequest size");
KIV_STATIC_ASSERT(sizeof(HostResponse) == 62 + 8 * (sizeof(void*) - 4), "HostResponse size");
KIV_STATIC_ASSERT(sizeof(ApiFunctionEntry) == 90 + 10 * (sizeof(void*) - 4), "ApiFunctionEntry size");
KIV_STATIC_ASSERT(sizeof(PluginStartRecord) == 28 + 4 * (sizeof(void*) - 4), "PluginStartRecord size");
#endif

#undef KIV_CHECK

#ifdef __cplusplus
}
#endif

#endif /* KIV_PLUGIN_ABI_H */
