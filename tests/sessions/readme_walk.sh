# The README's walk through the service, grown into the whole service: every
# route for the logged-in summoner, saves and selections, champion mastery
# off and on, each backend notification, disconnect and reconnect, and a
# second summoner who sees none of the first one's data. Sourced by record.sh.
S=/kiv-collections/v1/inventories/2870164
B=/kiv-collections/v1/inventories/3104478
J='{"namespace":"ChampionMasteryConfig","key":"Enabled","value":false}'

# every route
c GET $S/rune-book; c GET $S/verification; c GET $S/runes
c GET $S/mastery-book; c GET $S/spells; c GET $S/summoner-icons
c GET /kiv-collections/v2/inventories/2870164/summoner-icons/3
c GET /kiv-collections/v2/inventories/2870164/summoner-icons/99999
c GET $S/champion-mastery; c GET "$S/champion-mastery/top?limit=3&sortRule=points"
c GET "$S/champion-mastery/top?limit=2"; c GET $S/champion-mastery/top
c GET /kiv-collections/v1/inventories/chest-eligibility
c GET $S/ward-skins; c GET $S/ward-skins/2; c GET $S/ward-skins/9999; c GET $S/backdrop
c GET /kiv-collections/v1/inventories/2870164/nothing-here
c GET /kiv-collections/v1/inventories/not-a-number/rune-book
c GET /kiv-collections/v1/inventories/0/rune-book
c PUT /kiv-collections/v1/inventories/2870165/rune-book/select-page/1

# saves and selections
c PUT $S/rune-book/select-page/1202
c PUT $S/rune-book/pages/1202 '{"id":1202,"name":"Renamed","current":true,"runes":[]}'
c PUT $S/rune-book/pages/1203 '{"id":1203,"name":"Renamed over HTTP","current":false,"runes":[{"runeId":5013,"runeSlotId":1}]}'
c PUT $S/rune-book/select-page/1203
c PUT $S/rune-book/select-page/424242
c PUT $S/rune-book/pages/1202 '{"id":1202,"name":'
c GET $S/rune-book
c PUT $S/verification '"CODE-42"'
c GET $S/verification
c PUT $S/mastery-book/pages '{"name":"New page"}'
c GET $S/mastery-book
c PUT $S/mastery-book/pages '{"name":"Fresh","current":false,"masteries":[]}'
c DELETE $S/mastery-book/pages/5
c DELETE $S/mastery-book/pages/4242
c PUT $S/mastery-book/pages '{"id":0,"name":"From HTTP","current":true,"masteries":[]}'
c PUT $S/mastery-book/pages '{"id":7,"name":"Edited","current":true}'
c DELETE $S/mastery-book/pages/7
c GET $S/mastery-book
settle

# champion mastery off and on
sim platform-config "$J"
settle
c GET $S/champion-mastery; c GET /kiv-collections/v1/inventories/chest-eligibility
sim platform-config "${J/false/true}"
settle
c GET $S/champion-mastery

# each backend notification, then what it changed
sim grant '{"inventoryType":"WARD_SKIN","itemId":3}'; settle
sim grant '{"inventoryType":"SPELL_BOOK_PAGE","itemId":0}'; settle
sim grant '{"inventoryType":"RUNE","itemId":5001,"quantity":2,"rental":true}'; settle
sim grant '{"inventoryType":"SUMMONER_ICON","itemId":4001}'; settle
sim champion-mastery '{"championId":42,"championLevel":7,"championPoints":250000}'; settle
sim chest-eligibility '{"earnableChests":3,"maximumChests":4}'; settle
c GET $S/ward-skins/3; c GET /kiv-collections/v2/inventories/2870164/summoner-icons/4001
c GET $S/champion-mastery; c GET /kiv-collections/v1/inventories/chest-eligibility; c GET $S/runes
sim backdrop-assets '{"iconId":4001,"webm":true,"jpg":false}'
sim profile-icon '{"iconId":4001}'; settle
c GET $S/backdrop
sim recent-games '{"add":{"championId":42,"queue":420}}'; settle
c GET $S/backdrop

# disconnect and reconnect: the cache check runs
sim disconnect; settle
sim reconnect; settle

# a second summoner sees only their own data
sim logout; settle
c GET $S/ward-skins; c GET $S/rune-book
sim login '{"summonerId":3104478}'; settle
c GET $S/ward-skins; c PUT $S/rune-book/select-page/1203
c GET $B/ward-skins; c GET $B/rune-book; c GET $B/runes; c GET $B/champion-mastery
c GET $B/backdrop; c GET $B/summoner-icons; c GET $B/mastery-book; c GET $B/spells
