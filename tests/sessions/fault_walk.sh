# Slow and failing backends: a read that waits on a slow service proxy while
# the player logs out, then one backend method or stand-in path failing at a
# time from before the login: every route answers its failure (or what a
# cache gives anyway), and once the fault is cleared answers as before.
# Sourced by record.sh.
S=/kiv-collections/v1/inventories/2870164

# a slow service proxy, and a logout while a read waits on it
sim logout; settle
sim latency '{"serviceProxyMs":1500}'
sim login '{}'; settle
c GET $S/champion-mastery &
slow=$!
sleep 0.4
sim logout
wait $slow
c GET $S/ward-skins
sim latency '{"serviceProxyMs":0}'
sim login '{}'; settle
c GET $S/champion-mastery

# One summoner per fault, so no cache of an earlier round spares a read
# (fault_world.json has summoners 5000001-5000016, copies of the first).
routes() {
  local S=/kiv-collections/v1/inventories/$1
  c GET $S/verification; c GET $S/rune-book; c GET $S/runes; c GET $S/mastery-book; c GET $S/spells
  c GET $S/summoner-icons; c GET /kiv-collections/v2/inventories/$1/summoner-icons/3
  c GET $S/champion-mastery; c GET "$S/champion-mastery/top?limit=3"
  c GET /kiv-collections/v1/inventories/chest-eligibility; c GET $S/ward-skins; c GET $S/ward-skins/1
  c GET $S/backdrop; c PUT $S/rune-book "${rune_book//2870164/$1}"; c PUT $S/rune-book/select-page/1201
  c PUT $S/mastery-book "${mastery_book//2870164/$1}"
}
rune_book=$(body $S/rune-book)
mastery_book=$(body $S/mastery-book)
summoner=5000000
for target in /kiv-game-data/assets/v1/summoner-spells.json /kiv-game-data/assets/v1/ward-skins.json \
    spellBookService.getSpellBook spellBookService.saveSpellBook \
    spellBookService.selectDefaultSpellBookPage masteryBookService.getMasteryBook \
    masteryBookService.saveMasteryBook summonerRuneService.getSummonerRuneInventory \
    summonerIconService.getSummonerIconInventory championMastery.getAllChampionMasteries \
    championMastery.getChampionMasteryScoreAndChest wardSkins.requestSelectableWardSkins \
    '/kiv-summoner/v1/summoners/{id}' /kiv-login/v1/session/invoke \
    '/kiv-acs/v2/recently-played-champions/current-summoner'; do
  summoner=$((summoner + 1))
  sim logout; settle
  sim faults '{"target":"'"$target"'","status":503,"message":"down"}'
  sim login '{"summonerId":'$summoner'}'; settle
  routes $summoner
  c DELETE /sim/faults
  routes $summoner
done
