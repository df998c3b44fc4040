# Edges of the world's data, over tests/sessions/edges_world.json: a login
# data packet with no current rune page, and one without rune pages (its
# books read at a reconnect or before an edit); rune quantities out of
# order; a mastery page with a talent of no tree; a ward-skin catalogue with
# an id past 32 bits and owned ids it lacks; a spell list with numbers as
# text, junk entries, and no list at all; sessions that never succeed;
# champion mastery's refusals; backdrops by source and after events; and a
# mastery book of more pages than may be created. Sourced by record.sh:
#   tests/sessions/record.sh tests/sessions/edges_walk.sh tests/sessions/edges_walk.jsonl tests/sessions/edges_world.json
S=/kiv-collections/v1/inventories/7001
V=/kiv-collections/v1/inventories

# logged in as 7001 from the start: the packet's book, its first page made current, answers from the cache
c GET $S/rune-book; c GET $S/verification
c GET $S/mastery-book; c GET $S/mastery-book; c PUT $S/mastery-book/pages '{"id":0}'
c GET $S/ward-skins; c GET $S/ward-skins/12; c GET $S/ward-skins/1099511627780
c GET $S/runes; c GET $V/7002/runes; c GET $S/runes
for who in 7001 7002 7003 7004; do c GET $V/$who/spells; done
# backdrops: the icon's video and image, its image only, and a recently played
# champion (whose second backdrop reads only its splash metadata again)
c GET $V/7005/backdrop; c GET $V/7006/backdrop; c GET $V/7007/backdrop
c GET $V/7004/backdrop; c GET $V/7004/backdrop

# champion mastery: another summoner's list is read once and not published,
# summoner 0 is refused, a failing backend named, and the setting off refuses
c GET $V/7003/champion-mastery; c GET $V/7003/champion-mastery
c GET $V/0/champion-mastery; c GET "$V/0/champion-mastery/top?limit=3"
sim faults '{"target":"championMastery.getAllChampionMasteries","status":503,"message":"backend down"}'
c GET $V/7002/champion-mastery/top
c DELETE /sim/faults
sim platform-config '{"namespace":"ChampionMasteryConfig","key":"Enabled","value":false}'; settle
c GET $V/7002/champion-mastery/top
sim platform-config '{"namespace":"ChampionMasteryConfig","key":"Enabled","value":true}'; settle

# logged out, the quantities are read every time; chests need a login
sim logout; settle
c GET $S/runes; c GET $S/runes; c GET $V/chest-eligibility
# a packet without rune pages publishes no book
sim login '{"summonerId":7002}'; settle
c GET $V/7002/rune-book
sim logout; settle
# a session that has not succeeded logs nobody in
for state in IN_PROGRESS LOGGING_OUT ERROR; do
  sim login '{"state":"'$state'"}'; settle
  c GET $S/ward-skins; c PUT $S/rune-book/select-page/1
  sim logout; settle
done

# a spell asset that is not a list offers no spell
c PUT /sim/world "$(body /sim/world | python3 -c 'import json, sys
w = json.load(sys.stdin)
w["gameData"]["summonerSpells"] = {"id": 1, "summonerLevel": 0}
print(json.dumps(w))')"
c GET $V/7003/spells

# pages SUMMONER JSON: the rune pages the backend stores for a summoner (published nowhere)
pages() {
  c PUT /sim/world "$(body /sim/world | python3 -c 'import json, sys
w = json.load(sys.stdin)
for s in w["summoners"]:
    if s["summonerId"] == int(sys.argv[1]): s["runePages"] = json.loads(sys.argv[2])
print(json.dumps(w))' "$1" "$2")"
}
P='[{"pageId":1,"name":"a","current":false,"createDate":1711139594057,"slotEntries":[]},
    {"pageId":2,"name":"b","current":false,"createDate":1711139594057,"slotEntries":[]}]'
T=$V/7002
# the packet without rune pages leaves both books uncached: a reconnect reads
# and publishes them (not the quantities, loaded at login); "connected"
# again without a disconnect checks nothing
sim login '{"summonerId":7003}'; settle; sim logout; settle  # forgets 7002's caches
sim login '{"summonerId":7002}'; settle
pages 7002 "$P"
sim disconnect; settle; sim reconnect; settle; sim reconnect; settle
sim logout; settle
# an edit of a book the login never filled reads the stored book first
for edit in "PUT $T/rune-book"$'\t''{"pages":[{"id":1},{"id":2,"current":true}]}' \
    "PUT $T/rune-book/pages/2"$'\t''{"id":2,"name":"renamed","current":true}' \
    "PUT $T/rune-book/select-page/2"$'\t' "PUT $T/verification"$'\t''"CODE"' \
    "PUT $T/mastery-book/pages"$'\t''{"id":0}' "DELETE $T/mastery-book/pages/2"$'\t'; do
  sim login '{"summonerId":7003}'; settle; sim logout; settle  # forgets 7002's caches
  pages 7002 '[]'; sim login '{"summonerId":7002}'; settle; pages 7002 "$P"
  c ${edit%%$'\t'*} "${edit#*$'\t'}"
  sim logout; settle
done

# the logged-in player's backdrop follows their recent games and icon (from
# the events, not the games route), and the summoner is forgotten at logout
sim login '{"summonerId":7004}'; settle
sim recent-games '{"games":[{"championId":2,"queue":420},{"championId":2,"queue":420},{"championId":2,"queue":420}]}'
settle
sim backdrop-assets '{"iconId":77,"webm":false,"jpg":true}'; sim profile-icon '{"iconId":77}'; settle
sim logout; settle
c GET $V/7004/backdrop
# a first mastery keeps the backdrop chosen before, until the setting is turned on again
sim login '{"summonerId":7002}'; settle
c GET $V/7002/backdrop
sim champion-mastery '{"championId":5,"championLevel":3,"championPoints":10}'; settle
c GET $V/7002/backdrop
sim platform-config '{"namespace":"ChampionMasteryConfig","key":"Enabled","value":true}'; settle
c GET $V/7002/backdrop

# a book the backend holds with more pages than may be created takes no new one
sim logout; settle
sim login '{"summonerId":7008}'; settle
c PUT $V/7008/mastery-book/pages '{"id":0}'; c PUT $V/7008/mastery-book/pages '{"id":3,"name":"r"}'
