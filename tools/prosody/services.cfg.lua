-- The presence service's components, included by a Prosody configuration after its
-- VirtualHost: the user search and the three IM gateways (presence-services connects
-- them on the component port with component_secret) and the group-chat service.
local domain = os.getenv("ZELORA_XMPP_DOMAIN") or "localhost"

Component("search." .. domain)
	name = "User search"
Component("yahoo." .. domain)
	name = "Yahoo gateway"
Component("msn." .. domain)
	name = "MSN gateway"
Component("gtalk." .. domain)
	name = "Google Talk gateway"
Component("muc." .. domain) "muc"
	name = "Group chat"
	restrict_room_creation = false
	muc_room_locking = false -- a new room takes visitors (and passes invitations) at once
