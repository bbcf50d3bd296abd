import { useEffect } from 'react';

export default function Widget(props) {
  useEffect(() => {}, []);
  return <span>{props.label}</span>;
}

export const WidgetSchema = z.object({ label: z.string() });
