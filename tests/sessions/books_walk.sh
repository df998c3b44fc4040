# Whose caches serve whom, and the rune and mastery books' edits: another
# summoner's reads and writes while one is logged in, writes after logout,
# a relogin and a second summoner's login; then, logged in as the summoner
# with the small books, the books' rules, edits, selections, deletions and
# saves that fail (an edit that failed never reaches a later save).
# Sourced by record.sh.
S=/kiv-collections/v1/inventories/2870164
B=/kiv-collections/v1/inventories/3104478
Z=/kiv-collections/v1/inventories/0
fail() { sim faults '{"target":"'"$1"'","status":503,"message":"read only"}'; }

# logged in as S: B's data is read for B every time, never from S's caches
c GET $B/rune-book; c GET $B/rune-book; c GET $S/verification; c GET $B/verification
c PUT $B/verification '"NOT MINE"'; c GET $S/rune-book
c GET $B/runes; c GET $S/runes; c GET $B/summoner-icons; c GET $S/summoner-icons
c GET /kiv-collections/v2/inventories/3104478/summoner-icons/744
c GET /kiv-collections/v2/inventories/3104478/summoner-icons/3020
c GET /kiv-collections/v2/inventories/3104478/summoner-icons/5
c GET /kiv-collections/v2/inventories/2870164/summoner-icons/744
c GET $B/ward-skins; c GET $B/ward-skins/1; c GET $Z/ward-skins
for route in runes summoner-icons spells mastery-book; do c GET $Z/$route; done
c PUT $B/rune-book '{"pages":[{"id":3301,"current":true},{"id":3302}]}'
c PUT $B/rune-book/pages/3301 '{"id":3301}'; c PUT $B/rune-book/select-page/3301
c PUT $B/mastery-book '{"pages":[{"id":1}]}'; c PUT $B/mastery-book/pages '{"id":0}'
c DELETE $B/mastery-book/pages/1

# after logout nobody may write, summoner 0 included
sim logout; settle
for who in $S $Z; do
  c PUT $who/rune-book '{"summonerId":2870164,"pages":[{"id":1201,"current":true},{"id":1202}]}'
  c PUT $who/rune-book/select-page/1201; c PUT $who/mastery-book/pages '{"id":0}'
  c DELETE $who/mastery-book/pages/4
done

# the same summoner again keeps the caches; another one never sees them
sim login '{}'; settle
c GET $S/verification; c GET $S/runes; c GET $S/summoner-icons
sim logout; settle
sim login '{"summonerId":3104478}'; settle
c GET $B/verification; c GET $B/runes; c GET $B/rune-book; c GET $B/summoner-icons
c PUT $B/rune-book/select-page/1204

# logged in as B (pages 3301* and 3302; mastery page 1): the whole-book rules
for book in '{"pages":[{"id":3301,"current":true},{"id":3302,"current":true}]}' \
    '{"pages":[{"id":3301},{"id":3302}]}' '{"pages":[{"id":3301,"current":true},{"id":3301}]}' \
    '{"pages":[{"id":3301,"current":true}]}' \
    '{"pages":[{"id":3301,"current":true},{"id":3302},{"id":3303}]}' \
    '{"pages":[{"id":0,"current":true},{"id":3302}]}' '{}'; do
  c PUT $B/rune-book "$book"
done
# a whole book is saved for the path's summoner whatever the body names
for who in '"summonerId":0,' '"summonerId":99,' ''; do
  c PUT $B/rune-book '{'"$who"'"pages":[{"id":3311,"name":"p","runes":[{"runeId":5002,"runeSlotId":4}]},{"id":3312,"name":"q","current":true}]}'
done
c GET $B/rune-book
# one page: replaced and saved without publishing; refusals call nobody
c PUT $B/rune-book/pages/3311 '{"current":true,"id":3311,"name":"renamed","runes":[{"runeId":5003,"runeSlotId":2}]}'
c PUT $B/rune-book/pages/3311 '{"id":3311,"name":"off"}'
c GET $B/verification; c GET $B/rune-book
c PUT $B/rune-book/pages/3312 '{"id":3311}'; c PUT $B/rune-book/pages/9 '{"id":9}'
# selection tells the backend and publishes, also for the current page
c PUT $B/rune-book/select-page/3312; c PUT $B/rune-book/select-page/3312
# the verification code renames the current page, or the first one made current
c PUT $B/verification '"ABC-123"'; c GET $B/verification
c PUT $B/rune-book/pages/3312 '{"id":3312,"name":"x"}'
c PUT $B/verification '"XYZ"'; c GET $B/verification; c GET $B/rune-book
# a failed rune edit is undone: the next save carries none of it
for edit in "PUT $B/rune-book"$'\t''{"pages":[{"id":3311,"name":"PHANTOM","current":true},{"id":3312}]}' \
    "PUT $B/rune-book/pages/3311"$'\t''{"id":3311,"name":"PHANTOM","current":true}' \
    "PUT $B/verification"$'\t''"PHANTOM"'; do
  fail spellBookService.saveSpellBook
  c ${edit%%$'\t'*} "${edit#*$'\t'}"
  c DELETE /sim/faults
  c PUT $B/rune-book/pages/3312 '{"id":3312,"name":"later","current":true}'
done
fail spellBookService.selectDefaultSpellBookPage
c PUT $B/rune-book/select-page/3311
c DELETE /sim/faults
c PUT $B/rune-book/pages/3312 '{"id":3312,"name":"later","current":true}'
c GET $B/rune-book

# mastery books: whole-book saves for the path's summoner, and the books refused
c PUT $B/mastery-book '{"summonerId":99,"pages":[{"id":5,"name":"x","masteries":[{"id":7113,"rank":3}]},{"id":6,"name":"y","current":true,"summary":{"stale":1}}]}'
many=$(for id in $(seq 21); do printf '{"id":%d},' "$id"; done)
for book in '{}' '{"summonerId":3104478,"pages":[]}' "{\"pages\":[${many%,}]}" \
    '{"pages":[{"id":3},{"id":3,"current":true}]}' \
    '{"pages":[{"id":3,"current":true},{"id":4,"current":true}]}'; do
  c PUT $B/mastery-book "$book"
done
# pages: created with consecutive ids, replaced moving the current mark
c PUT $B/mastery-book/pages '{"id":0,"name":"new","masteries":[{"id":7211,"rank":5}]}'
c PUT $B/mastery-book/pages '{"id":0,"name":"newer","current":true}'
c PUT $B/mastery-book/pages '{"id":3,"name":"r"}'
c PUT $B/mastery-book/pages '{"id":5,"name":"r","current":true}'
c PUT $B/mastery-book/pages '{"id":5,"name":"r"}'
c GET $B/mastery-book
# a failed save or edit is undone: the next page takes the failed one's id
for edit in "PUT $B/mastery-book"$'\t''{"pages":[{"id":6,"name":"PHANTOM"}]}' \
    "PUT $B/mastery-book/pages"$'\t''{"id":0,"name":"PHANTOM","current":true}' \
    "PUT $B/mastery-book/pages"$'\t''{"id":6,"name":"PHANTOM","current":true}' \
    "DELETE $B/mastery-book/pages/5"$'\t'; do
  fail masteryBookService.saveMasteryBook
  c ${edit%%$'\t'*} "${edit#*$'\t'}"
  c DELETE /sim/faults
  c PUT $B/mastery-book/pages '{"id":0,"name":"later"}'
done
# deletion: the successor is the next lower id, or the next higher for the lowest
cur() { [ "$1" = "$2" ] && echo true || echo false; }
for round in '2 2' '9 9' '5 5' '5 9'; do
  read -r current deleted <<<"$round"
  c PUT $B/mastery-book '{"pages":[{"id":5,"current":'"$(cur 5 "$current")"'},{"id":2,"current":'"$(cur 2 "$current")"'},{"id":9,"current":'"$(cur 9 "$current")"'}]}'
  c DELETE $B/mastery-book/pages/$deleted
done
c PUT $B/mastery-book '{"pages":[{"id":3,"current":true},{"id":4}]}'
c DELETE $B/mastery-book/pages/3; c DELETE $B/mastery-book/pages/4
# creation stops at twenty pages
for _ in $(seq 19); do c PUT $B/mastery-book/pages '{"id":0}'; done
c PUT $B/mastery-book/pages '{"id":0}'; c PUT $B/mastery-book/pages '{"id":4,"name":"r"}'
c GET $B/mastery-book
