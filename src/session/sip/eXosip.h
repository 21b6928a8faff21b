#pragma once
// SIP user-agent layer over osip2: the call surface the SIP stack uses, with the
// names, signatures and event numbering of the eXosip2 3.x interface.
//
// Result conventions
//   eXosip_init                              0 ok, -1 failure
//   eXosip_quit                              (none) stops the worker, frees everything, sends nothing
//   eXosip_listen_addr                       0 ok (worker started), -1 bind/socket failure
//   eXosip_set_user_agent                    (none)
//   eXosip_lock / eXosip_unlock              0 ok, else an errno-style value
//   eXosip_event_wait                        next event (caller frees it) or NULL on timeout/quit
//   eXosip_event_interrupt                   (none) the wait returns NULL now when nothing is queued
//   eXosip_event_free                        (none); NULL is accepted
//   eXosip_default_action                    0 retry sent, 1 nothing to do, -1 cannot act (no response,
//                                            retry limit reached, no credentials, send failed)
//   eXosip_clear_authentication_info         0
//   eXosip_add_authentication_info           0 ok, -1 missing username/userid or both passwd and ha1
//   eXosip_register_build_initial_register   rid (>0) or -1
//   eXosip_register_send_register            0 ok, -1 failure (the message is freed in every case)
//   eXosip_call_build_initial_invite         0 ok, -1 failure
//   eXosip_call_send_initial_invite          cid (>0) or -1 (the message is consumed in every case)
//   eXosip_call_build_answer                 0 ok, -1 unknown tid / already answered / bad status
//   eXosip_call_send_answer                  0 ok, -1 failure (the message is consumed in every case)
//   eXosip_call_build_ack                    0 ok, -1 no confirmed dialog
//   eXosip_call_send_ack                     0 ok, -1 failure (the message is consumed in every case)
//   eXosip_call_terminate                    0 ok, -1 nothing to end / no answer yet, -2 build failure
//   eXosip_message_build_request             0 ok, -1 failure
//   eXosip_message_send_request              0 ok, -1 failure (the message is consumed in every case)
//   eXosip_get_remote_sdp                    new sdp_message_t (free with sdp_message_free) or NULL
//   eXosip_get_audio_media                   pointer into the sdp (not owned) or NULL
//   eXosip_guess_localip                     0 ok, -1 failure ("127.0.0.1" written)
//   eXosip_generate_random                   0 ("%u" of a random number)
//
// Locking: every entry point except event_wait/event_free/quit/init/listen expects the caller
// to hold eXosip_lock(); never hold it around eXosip_event_wait or eXosip_quit.
//
// ZELORA_LOCAL_ADDRESS, when set to an IPv4 address, is the bind address of the SIP socket
// and the address written into Via, Contact and Call-ID.

#include <sys/time.h>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>

#include <osip2/osip.h>
#include <osip2/osip_dialog.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

enum eXosip_event_type {
    EXOSIP_REGISTRATION_NEW,
    EXOSIP_REGISTRATION_SUCCESS,
    EXOSIP_REGISTRATION_FAILURE,
    EXOSIP_REGISTRATION_REFRESHED,
    EXOSIP_REGISTRATION_TERMINATED,

    EXOSIP_CALL_INVITE,
    EXOSIP_CALL_REINVITE,
    EXOSIP_CALL_NOANSWER,
    EXOSIP_CALL_PROCEEDING,
    EXOSIP_CALL_RINGING,
    EXOSIP_CALL_ANSWERED,
    EXOSIP_CALL_REDIRECTED,
    EXOSIP_CALL_REQUESTFAILURE,
    EXOSIP_CALL_SERVERFAILURE,
    EXOSIP_CALL_GLOBALFAILURE,
    EXOSIP_CALL_ACK,
    EXOSIP_CALL_CANCELLED,
    EXOSIP_CALL_TIMEOUT,

    EXOSIP_CALL_MESSAGE_NEW,
    EXOSIP_CALL_MESSAGE_PROCEEDING,
    EXOSIP_CALL_MESSAGE_ANSWERED,
    EXOSIP_CALL_MESSAGE_REDIRECTED,
    EXOSIP_CALL_MESSAGE_REQUESTFAILURE,
    EXOSIP_CALL_MESSAGE_SERVERFAILURE,
    EXOSIP_CALL_MESSAGE_GLOBALFAILURE,

    EXOSIP_CALL_CLOSED,
    EXOSIP_CALL_RELEASED,

    EXOSIP_MESSAGE_NEW,
    EXOSIP_MESSAGE_PROCEEDING,
    EXOSIP_MESSAGE_ANSWERED,
    EXOSIP_MESSAGE_REDIRECTED,
    EXOSIP_MESSAGE_REQUESTFAILURE,
    EXOSIP_MESSAGE_SERVERFAILURE,
    EXOSIP_MESSAGE_GLOBALFAILURE,

    EXOSIP_SUBSCRIPTION_UPDATE,
    EXOSIP_SUBSCRIPTION_CLOSED,
    EXOSIP_SUBSCRIPTION_NOANSWER,
    EXOSIP_SUBSCRIPTION_PROCEEDING,
    EXOSIP_SUBSCRIPTION_ANSWERED,
    EXOSIP_SUBSCRIPTION_REDIRECTED,
    EXOSIP_SUBSCRIPTION_REQUESTFAILURE,
    EXOSIP_SUBSCRIPTION_SERVERFAILURE,
    EXOSIP_SUBSCRIPTION_GLOBALFAILURE,
    EXOSIP_SUBSCRIPTION_NOTIFY,
    EXOSIP_SUBSCRIPTION_RELEASED,

    EXOSIP_IN_SUBSCRIPTION_NEW,
    EXOSIP_IN_SUBSCRIPTION_RELEASED,

    EXOSIP_NOTIFICATION_NOANSWER,
    EXOSIP_NOTIFICATION_PROCEEDING,
    EXOSIP_NOTIFICATION_ANSWERED,
    EXOSIP_NOTIFICATION_REDIRECTED,
    EXOSIP_NOTIFICATION_REQUESTFAILURE,
    EXOSIP_NOTIFICATION_SERVERFAILURE,
    EXOSIP_NOTIFICATION_GLOBALFAILURE,

    EXOSIP_EVENT_COUNT
};
typedef enum eXosip_event_type eXosip_event_type_t;

static_assert(EXOSIP_CALL_INVITE == 5 && EXOSIP_CALL_MESSAGE_NEW == 18 && EXOSIP_CALL_CLOSED == 25 &&
                  EXOSIP_MESSAGE_NEW == 27 && EXOSIP_EVENT_COUNT == 54,
              "event numbering is part of the interface");

// One event; request/response/ack are clones owned by the event.
struct eXosip_event {
    eXosip_event_type_t type;
    char textinfo[256];
    void* external_reference;
    osip_message_t* request;
    osip_message_t* response;
    osip_message_t* ack;
    int tid;
    int did;
    int rid;
    int cid;
    int sid;
    int nid;
    int ss_status;
    int ss_reason;
};
typedef struct eXosip_event eXosip_event_t;

int eXosip_init(void);
void eXosip_quit(void);
int eXosip_listen_addr(int transport, const char* addr, int port, int family, int secure);
void eXosip_set_user_agent(const char* user_agent);
int eXosip_lock(void);
int eXosip_unlock(void);

eXosip_event_t* eXosip_event_wait(int tv_s, int tv_ms);
// Not in eXosip2: the thread in eXosip_event_wait (or the next to call it) gets NULL at once
// when no event is queued.
void eXosip_event_interrupt(void);
void eXosip_event_free(eXosip_event_t* je);
int eXosip_default_action(eXosip_event_t* je);

int eXosip_clear_authentication_info(void);
int eXosip_add_authentication_info(const char* username, const char* userid, const char* passwd, const char* ha1,
                                   const char* realm);

int eXosip_register_build_initial_register(const char* from, const char* proxy, const char* contact, int expires,
                                           osip_message_t** reg);
int eXosip_register_send_register(int rid, osip_message_t* reg);

int eXosip_call_build_initial_invite(osip_message_t** invite, const char* to, const char* from, const char* route,
                                     const char* subject);
int eXosip_call_send_initial_invite(osip_message_t* invite);
int eXosip_call_build_answer(int tid, int status, osip_message_t** answer);
int eXosip_call_send_answer(int tid, int status, osip_message_t* answer);
int eXosip_call_build_ack(int did, osip_message_t** ack);
int eXosip_call_send_ack(int did, osip_message_t* ack);
int eXosip_call_terminate(int cid, int did);

int eXosip_message_build_request(osip_message_t** message, const char* method, const char* to, const char* from,
                                 const char* route);
int eXosip_message_send_request(osip_message_t* message);

sdp_message_t* eXosip_get_remote_sdp(int did);
sdp_media_t* eXosip_get_audio_media(sdp_message_t* sdp);

int eXosip_guess_localip(int family, char* address, int size);
int eXosip_generate_random(char* buf, int buf_size);

// Trace of the layer and of osip2: level 0..7 enabled below `level` (8 = all) to `file`
// (NULL: the process logger). Same semantics as osip_trace_initialize.
int eXosip_trace_initialize(int level, FILE* file);
