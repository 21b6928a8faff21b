-- The domain's disco items carry, on each gateway, the user's account name there
-- (attribute RegisteredID), which the phone reads to know a gateway is set up.
-- The name is learnt from the jabber:iq:register exchanges of the user with the gateway:
-- kept when the gateway answers a registration with a result, dropped on <remove/>.
if module:get_host_type() ~= "local" then return end

local get_children = require "core.hostmanager".get_children;

local store = module:open_store("registered_ids");
local max_pending = 1000;
local pending, pending_count = {}, 0;

local function is_child(h)
	return h ~= nil and get_children(module.host)[h] ~= nil;
end

-- A registration on its way from the user to a gateway of this domain.
module:hook("pre-iq/host", function(event)
	local origin, stanza = event.origin, event.stanza;
	if origin.type ~= "c2s" or stanza.attr.type ~= "set" or not stanza.attr.id then return end
	if not is_child(stanza.attr.to) then return end
	local query = stanza:get_child("query", "jabber:iq:register");
	if not query then return end
	local name = false;
	if not query:get_child("remove") then
		name = query:get_child_text("username");
		if not name or name == "" then return end
	end
	if pending_count >= max_pending then -- answers that never came
		pending, pending_count = {}, 0;
	end
	pending[origin.full_jid .. " " .. stanza.attr.id] = { user = origin.username, gateway = stanza.attr.to, name = name };
	pending_count = pending_count + 1;
end, 10);

-- The gateway's answer on its way back to the user.
module:hook("iq/full", function(event)
	local stanza = event.stanza;
	local kind = stanza.attr.type;
	if kind ~= "result" and kind ~= "error" then return end
	local key = (stanza.attr.to or "") .. " " .. (stanza.attr.id or "");
	local p = pending[key];
	if not p then return end
	pending[key], pending_count = nil, pending_count - 1;
	if kind ~= "result" or stanza.attr.from ~= p.gateway then return end
	local ids = store:get(p.user) or {};
	ids[p.gateway] = p.name or nil;
	local ok, err = store:set(p.user, ids);
	if not ok then
		module:log("error", "Could not store the registration of %s at %s: %s", p.user, p.gateway, err);
		return;
	end
	module:log("info", "%s %s at %s", p.user, p.name and "registered" or "unregistered", p.gateway);
end, 10);

-- The items as mod_disco lists them, with the attribute added for the asking user.
module:hook("host-disco-items", function(event)
	local origin, reply = event.origin, event.reply;
	local ids = origin.type == "c2s" and origin.username and store:get(origin.username) or {};
	for jid, name in pairs(get_children(module.host)) do
		reply:tag("item", { jid = jid, name = name ~= true and name or nil, RegisteredID = ids[jid] }):up();
	end
	origin.send(reply);
	return true;
end, 10);
