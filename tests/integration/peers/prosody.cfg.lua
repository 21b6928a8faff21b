-- Prosody for the presence tests: loopback only, plain PLAIN logins, fresh data per run.
local base = os.getenv("ZELORA_XMPP_DIR") or "."
local address = os.getenv("ZELORA_XMPP_ADDRESS") or "127.0.0.1"
data_path = base .. "/data"
pidfile = base .. "/prosody.pid"
run_as_root = true
log = { { levels = { min = os.getenv("ZELORA_XMPP_LOGLEVEL") or "warn" }, to = "console" } }
interfaces = { address }
c2s_ports = { 5222, 5223 }
c2s_direct_tls_ports = { }
component_ports = { tonumber(os.getenv("ZELORA_XMPP_COMPONENT_PORT") or "5347") }
component_interfaces = { address }
component_secret = os.getenv("ZELORA_XMPP_COMPONENT_SECRET") or "services"
s2s_ports = { }
-- The domain's own disco attribute: the module folder tools/prosody of the source tree.
plugin_paths = { os.getenv("ZELORA_XMPP_PLUGINS") or "." }
modules_enabled = { "roster"; "saslauth"; "disco"; "private"; "vcard"; "ping"; "presence"; "message"; "iq";
                    "registered_id" }
modules_disabled = { "s2s"; "offline"; "tls" }
authentication = "internal_plain"
c2s_require_encryption = false
allow_unencrypted_plain_auth = true
limits = { }
VirtualHost "localhost"
Include "../../../tools/prosody/services.cfg.lua"
