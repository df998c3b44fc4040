# Backend push messages sent as they are: each inventory type of a store
# fulfilment and a rental update (and the types compared exactly), rune book
# grants with and without a book, champion mastery dialogs that read the
# whole list first and then replace or append one champion, and dialogs
# without parameters or of other types. Sourced by record.sh.
S=/kiv-collections/v1/inventories/2870164
push() { sim push '{"className":"com.quarngames.platform.messaging.'"$1"'","body":'"$2"'}'; settle; }
book='{"summonerId":2870164,"dateString":"","bookPages":[{"pageId":1201,"name":"one","current":false,"slotEntries":[]},{"pageId":1202,"name":"two","current":false,"slotEntries":[]}]}'
for class in StoreFulfillmentNotification RentalUpdateNotification; do
  grant() { push $class '{"inventoryType":"'"$1"'","data":'"$2"'}'; }
  grant WARD_SKIN '{"inventoryType":"WARD_SKIN","itemId":2}'; grant RUNE '{"inventoryType":"RUNE","itemId":5013}'
  grant SUMMONER_ICON '{"inventoryType":"SUMMONER_ICON","itemId":1402}'
  grant ward_skin '{"inventoryType":"WARD_SKIN","itemId":2}'; grant 'WARD_SKIN ' '{"inventoryType":"WARD_SKIN","itemId":2}'
  grant CHAMPION '{"inventoryType":"CHAMPION","itemId":3}'
  push $class '{"inventoryType":"SPELL_BOOK_PAGE","data":'"$book"'}'
  c GET $S/rune-book
  for data in '{"inventoryType":"SPELL_BOOK_PAGE","itemId":3}' '[1,2]' '{"summonerId":2870164,"bookPages":[]}'; do
    push $class '{"inventoryType":"SPELL_BOOK_PAGE","data":'"$data"'}'
    c GET $S/verification
  done
done
push StoreFulfillmentNotification '{"inventoryType":"WARD_SKIN","data":"?"}'

dialog() {
  push persistence.SimpleDialogMessage '{"accountId":41800317,"msgId":"m","type":"championMastery","params":["{\"gameId\":9,\"championLevel\":'"$2"',\"playerId\":2870164,\"championId\":'"$1"'}"]}'
}
dialog 4 5
c GET $S/champion-mastery
dialog 4 6
push persistence.SimpleDialogMessage '{"accountId":41800317,"msgId":"m","type":"championMastery","params":[]}'
push persistence.SimpleDialogMessage '{"accountId":41800317,"msgId":"m","type":"levelUp","params":["{\"gameId\":9,\"championLevel\":5,\"playerId\":2870164,\"championId\":4}"]}'
sim champion-mastery '{"championId":9999,"championLevel":1,"championPoints":10,"notify":false}'; settle
dialog 9999 1
c GET $S/champion-mastery

sim logout; settle
push StoreFulfillmentNotification '{"inventoryType":"SPELL_BOOK_PAGE","data":{"itemId":3}}'
