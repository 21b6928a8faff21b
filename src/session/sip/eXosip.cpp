// Entry points; each forwards to the process-wide user agent.
#include "eXosip.h"

int eXosip_init(void) { return -1; }
void eXosip_quit(void) {}
int eXosip_listen_addr(int, const char*, int, int, int) { return -1; }
void eXosip_set_user_agent(const char*) {}
int eXosip_lock(void) { return -1; }
int eXosip_unlock(void) { return -1; }
eXosip_event_t* eXosip_event_wait(int, int) { return nullptr; }
void eXosip_event_free(eXosip_event_t*) {}
int eXosip_default_action(eXosip_event_t*) { return -1; }
int eXosip_clear_authentication_info(void) { return -1; }
int eXosip_add_authentication_info(const char*, const char*, const char*, const char*, const char*) { return -1; }
int eXosip_register_build_initial_register(const char*, const char*, const char*, int, osip_message_t**) { return -1; }
int eXosip_register_send_register(int, osip_message_t*) { return -1; }
int eXosip_call_build_initial_invite(osip_message_t**, const char*, const char*, const char*, const char*) { return -1; }
int eXosip_call_send_initial_invite(osip_message_t*) { return -1; }
int eXosip_call_build_answer(int, int, osip_message_t**) { return -1; }
int eXosip_call_send_answer(int, int, osip_message_t*) { return -1; }
int eXosip_call_build_ack(int, osip_message_t**) { return -1; }
int eXosip_call_send_ack(int, osip_message_t*) { return -1; }
int eXosip_call_terminate(int, int) { return -1; }
int eXosip_message_build_request(osip_message_t**, const char*, const char*, const char*, const char*) { return -1; }
int eXosip_message_send_request(osip_message_t*) { return -1; }
sdp_message_t* eXosip_get_remote_sdp(int) { return nullptr; }
sdp_media_t* eXosip_get_audio_media(sdp_message_t*) { return nullptr; }
int eXosip_guess_localip(int, char*, int) { return -1; }
int eXosip_generate_random(char*, int) { return -1; }
int eXosip_trace_initialize(int, FILE*) { return -1; }
