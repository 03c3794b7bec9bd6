// Runs in the web views' start pages (kStartPagePolicy allows this service's scripts and
// nothing inline). It asks this service's JSON API for every listed server at once and fills
// each row as its answer comes, so a silent server holds up only its own row. While the page
// is shown the rows are asked again every 30 s; a hidden page asks nothing, and asks at once
// when it is shown again. A row whose server stops answering keeps what it last said, with
// its age. Every text goes into the page with textContent, never as HTML: server names are
// anybody's text.
//
// The service writes its JSON API's address for @API@ as it serves the script.
'use strict';
(() => {
  const kApi = '@API@';
  const kRefreshMs = 30000;
  // The service answers within its own deadline; this only ends a question whose connection
  // hangs, so that its row is asked again.
  const kGiveUpMs = 20000;
  const kFailures = {
    'no-answer': 'no answer',
    'unknown-host': 'unknown name',
    'bad-port': 'not a port',
    'busy': 'service busy',
    'refused': 'not asked from here',
  };

  const rows = Array.from(document.querySelectorAll('tr[data-game]'), (tr) => ({
    tr,
    name: tr.querySelector('td.name'),
    map: tr.querySelector('td.map'),
    players: tr.querySelector('td.players'),
    ping: tr.querySelector('td.ping'),
    state: tr.querySelector('td.state'),
    asking: false,
    last: null, // the last answer that had the server's status
    seenAt: 0, // when it came, on the page's clock
    failure: '', // what the latest question got instead of a status
  }));
  let roundAt = -Infinity;
  let ticker = 0;

  const put = (cell, text, title) => {
    if (cell.textContent !== text)
      cell.textContent = text;
    cell.title = title === undefined ? text : title;
  };
  const count = (value) => (Number.isFinite(value) ? String(value) : '?');
  const age = (ms) => {
    const s = Math.max(0, Math.round(ms / 1000));
    return s < 120 ? s + ' s' : Math.round(s / 60) + ' min';
  };

  const draw = (row) => {
    const a = row.last;
    put(row.name, a && typeof a.name === 'string' ? a.name : '');
    put(row.map, a && typeof a.map === 'string' ? a.map : '',
        a && typeof a.mapTitle === 'string' && a.mapTitle ? a.mapTitle : undefined);
    put(row.players, a ? count(a.playersNow) + '/' + count(a.playersMax) : '');
    put(row.ping, a && Number.isFinite(a.roundTripMs) ? a.roundTripMs + ' ms' : '');
    let state = row.failure;
    let title;
    if (!row.failure) {
      state = a.state === 'partial' ? 'partial answer' : 'up';
      if (typeof a.note === 'string' && a.note) {
        state += ', on port ' + count(a.queryPort);
        title = a.note;
      }
    } else if (a) {
      state += ', last seen ' + age(performance.now() - row.seenAt) + ' ago';
    }
    put(row.state, state, title);
    row.tr.className = !row.failure ? 'up' : a ? 'stale' : 'down';
  };

  const answered = (row, answer) => {
    if (answer && (answer.state === 'up' || answer.state === 'partial')) {
      row.last = answer;
      row.seenAt = performance.now();
      row.failure = '';
    } else if (answer) {
      row.failure = kFailures[answer.state] || String(answer.state);
    } else {
      row.failure = 'service not answering';
    }
    draw(row);
  };

  const ask = async (row) => {
    if (row.asking)
      return; // its last question is still out
    row.asking = true;
    if (!row.last && !row.failure)
      put(row.state, 'asking\u2026');
    const data = row.tr.dataset;
    const query = new URLSearchParams({game: data.game, host: data.host, port: data.port});
    if (data.webPort)
      query.set('webPort', data.webPort);
    const stop = new AbortController();
    const giveUp = setTimeout(() => stop.abort(), kGiveUpMs);
    let answer = null;
    try {
      const response = await fetch(kApi + '?' + query.toString(),
                                   {cache: 'no-store', signal: stop.signal});
      const type = response.headers.get('Content-Type') || '';
      if (type.startsWith('application/json')) {
        const body = await response.json();
        if (body && typeof body.state === 'string')
          answer = body;
      }
    } catch (e) {
      answer = null; // the service is gone, or the question was given up
    }
    clearTimeout(giveUp);
    row.asking = false;
    answered(row, answer);
  };

  const askAll = () => {
    roundAt = performance.now();
    rows.forEach(ask);
  };

  // Once a second while shown: the next round when it is due, else the stale rows' ages.
  const tick = () => {
    if (performance.now() - roundAt >= kRefreshMs)
      askAll();
    else
      rows.filter((row) => row.failure && row.last).forEach(draw);
  };

  const shownOrHidden = () => {
    if (document.visibilityState === 'visible') {
      if (!ticker) {
        askAll();
        ticker = setInterval(tick, 1000);
      }
    } else if (ticker) {
      clearInterval(ticker);
      ticker = 0;
    }
  };

  if (rows.length) {
    document.addEventListener('visibilitychange', shownOrHidden);
    shownOrHidden();
  }
})();
