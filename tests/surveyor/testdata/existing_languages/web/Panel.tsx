import React from 'react';
import { Button } from "./Button";

export interface PanelProps {
  title: string;
}

export function Panel({ title }: PanelProps) {
  return <div className="panel">{title}<Button /></div>;
}

function usePanelState() {
  return React.useState(false);
}
