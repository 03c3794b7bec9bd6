// Runs in a history page (its policy allows this service's scripts and nothing inline). The
// page says its times in UTC, so it reads without a script; this says each again in the
// viewer's own zone and words. It only ever sets textContent, from the times' own attributes.
'use strict';
(() => {
  const kStyles = {
    hm: { hour: '2-digit', minute: '2-digit' },
    wd: { weekday: 'short', day: 'numeric' },
    dm: { day: 'numeric', month: 'short' },
    m: { month: 'short' },
    full: { dateStyle: 'medium', timeStyle: 'short' },
  };
  const local = (iso, style) => {
    const time = new Date(iso);
    if (!iso || Number.isNaN(time.getTime())) return null;
    return time.toLocaleString(undefined, kStyles[style] || kStyles.full);
  };
  for (const element of document.querySelectorAll('time[datetime], svg text[data-time]')) {
    const text = local(element.getAttribute('datetime') || element.getAttribute('data-time'),
      element.getAttribute('data-style'));
    if (text !== null) element.textContent = text;
  }
  const zone = document.getElementById('zone');
  const name = Intl.DateTimeFormat().resolvedOptions().timeZone;
  if (zone) zone.textContent = 'Times are in your time zone' + (name ? ' (' + name + ').' : '.');
})();
